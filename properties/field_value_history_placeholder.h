#pragma once
// The stand-in history's own entry, for tests: replaces the values remembered under a key.
//
//     field_value_history_placeholder_store("", "Rock\nPop");

// `lines` separated by line feeds; empty lines are dropped.
void field_value_history_placeholder_store(const char* key, const char* lines);

// vorn-inspect: console test tool.
#include <cstdio>

int wmain(int, wchar_t**) { std::puts("vorn-inspect"); return 0; }

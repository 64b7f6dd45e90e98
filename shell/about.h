#pragma once
// The about box and the licence pages.
//
//     about_dialog_run(credits);                     // Help > About: the modal box, owned by the main window
//     licence_pages_open("Translated by Ana");       // writes <profile>\about\license.html and
//                                                    // license-apache-2.0.txt, then opens the page
//
// The licence page carries the placeholder "<p>Localization credits here</p>", replaced by the language
// file's credit line in a paragraph of its own (HTML-escaped), or by nothing when there is none. Every
// failure goes to the caller as an exception; files written before a failure stay.

#include "foundation/kpl/string.h"

// The version line of the box.
constexpr const char about_version_text[] = "Vorn Audio Player v1.0.13";
// The program's web site, opened by the "Web site" command and the box's second link.
constexpr const char about_web_site[] = "https://vorn-player.example.org/";

// The modal about box; returns when it was closed. Nothing while another modal window is up (that window
// comes to the front instead). Exceptions of the box (a picture that cannot be decoded) are thrown after
// it has ended. The credits are the language file's credit line, for the licence page.
void about_dialog_run(const char* credits);

// Writes the licence files into <profile>\about (creating the folder) and opens "license.html".
void licence_pages_open(const char* credits);
// The same files into the given folder location ("file://..."), without opening anything.
void licence_pages_write(const char* folder_location, const char* credits);

// Appends the text with HTML escaping: LF "<br />", CR dropped, '"' "&quot;", '&' "&amp;", '\'' "&#039;",
// '<' "&lt;", '>' "&gt;"; other bytes (UTF-8 sequences too) unchanged.
void html_escape_append(const char* text, kpl::utf8_string& out);

// The licence page with the placeholder replaced: "<p>" + escaped credits + "</p>", or nothing for empty
// credits; the data unchanged when the placeholder is missing.
void licence_page_with_credits(const char* data, size_t size, const char* credits, kpl::utf8_string& out);

// The about box's enlarged font height: lfHeight x 1.3 rounded (floor of x + 0.5). -11 -> -14, 10 -> 13.
int about_enlarged_font_height(int height);

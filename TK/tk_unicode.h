#pragma once
// Text moves between UTF-16 (wide text inside the agent), UTF-8 (the MySQL
// session, the trace log, profiles) and the process code page (console, command
// line), which is the codeset of the user's locale, UTF-8 under C/POSIX.
// The throwing forms raise a level-0 tk_exception_ex with the system's text.

#include <string>
#include <string_view>

// Must be called once at start-up, after setlocale(LC_ALL, ""), and again when
// the locale changes (tests do). Safe to call more than once.
void tk_init_code_page();
// True when the process code page is UTF-8 (the fast path everywhere).
bool tk_code_page_is_utf8();
// The codeset name in use, for messages and tests.
const std::string& tk_code_page_name();

std::u16string tk_ansi_to_unicode(std::string_view text);
std::u16string tk_utf8_to_unicode(std::string_view text);
std::string tk_unicode_to_ansi(std::u16string_view text);
std::string tk_unicode_to_utf8(std::u16string_view text);

// Quiet forms: false instead of an exception.
bool tk_unicode_to_ansi2(std::u16string_view text, std::string& out);
// Whether tk_unicode_to_ansi2 gives a non-empty text for `text`, found
// without building it (a slice at a time).
bool tk_unicode_has_ansi_form(std::u16string_view text);
bool tk_ansi_to_unicode2(const char* text, std::u16string& out);

// For the console: characters the code page cannot show become '?'.
std::string tk_unicode_to_console(std::u16string_view text);

// Bulk forms for the copy path: append to the caller's buffer, no temporary.
// tk_append_utf8 writes a lone surrogate as U+FFFD (used for trace text only).
void tk_append_utf8(std::string& out, std::u16string_view text);
// Strict: false on a lone surrogate, `out` then holds the part converted so far.
bool tk_append_utf8_strict(std::string& out, std::u16string_view text);
// Strict UTF-8 decoding; false on an invalid sequence (`out` partially filled).
bool tk_append_utf16(std::u16string& out, std::string_view utf8);
// Of well-formed UTF-8: its characters, and its length in UTF-16 units (a
// character beyond the Basic Multilingual Plane takes two).
struct tk_utf8_count {
  size_t characters = 0;
  size_t units = 0;
};
tk_utf8_count tk_utf8_counts(std::string_view utf8) noexcept;

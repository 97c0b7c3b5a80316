#pragma once

#include <string>
#include <string_view>

// Names as porute2avi shows them. File names are bytes; most are UTF-8, but
// names copied from old Japanese discs are often Shift-JIS (as Windows
// writes it, CP932). Such a name is shown decoded, so that people read it and
// two names never look alike; a name that is neither keeps its odd bytes in a
// written-out form.

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// values above U+10FFFF).
bool IsUtf8(std::string_view text);

// The name as UTF-8 text: as it is when it is UTF-8, decoded when it is
// Shift-JIS, else with U+FFFD for each byte that is not UTF-8. Control
// characters are kept: the caller escapes them in its own way.
std::string NameText(std::string_view name);

// A name as porute2avi shows it in its messages, progress and reports on the
// terminal: NameText, but a byte that is neither UTF-8 nor Shift-JIS is
// written \xff. A name without control characters or such bytes is shown as
// it is. One with them is shown with each control character written out the
// way C writes it in a string (\n, \t, \r, \a, \b, \f, \v, else \x1b and the
// like, C1 controls as \u009b), and each backslash doubled so that the
// written-out form cannot be mistaken for the name's own text. Nothing a file
// name holds can then move the cursor, change colours or retitle the
// terminal.
std::string ShownText(std::string_view name);

// A JSON string of text, control characters escaped as \u00XX; a byte that
// does not begin a UTF-8 sequence becomes U+FFFD.
std::string JsonString(std::string_view text);

// A name as JSON members: "key": its NameText, and, only when the name is
// not UTF-8, "key_bytes": the name's exact bytes in lower-case hexadecimal,
// so that the record maps back to its file.
std::string JsonNameMembers(const char* key, std::string_view name);

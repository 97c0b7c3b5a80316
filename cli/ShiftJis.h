#pragma once

// Decoding CP932 (Shift-JIS as Windows writes it), for names copied from old
// Japanese discs: the system's converter, iconv (ShiftJisIconv.cpp) or
// Windows' own (ShiftJisWin32.cpp).

#include <string>
#include <string_view>

// The name decoded into UTF-8, empty when it is not CP932 (or empty).
std::string Utf8FromShiftJis(std::string_view name);

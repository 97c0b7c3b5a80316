#pragma once

// Windows only: the conversions every Win32 call of ours goes through. Text
// is UTF-8 everywhere inside the program and UTF-16 at the system's wide
// calls, so a Japanese name works whatever the system's code page is.

#include <string>

namespace platform {

// False (and nothing converted) when the text is not valid UTF-8.
bool WideFromUtf8(const std::string& text, std::wstring& wide);
// Unpaired surrogates, which Windows allows in names, become U+FFFD.
std::string Utf8FromWide(const wchar_t* wide, size_t length);
std::string Utf8FromWide(const std::wstring& wide);

// The errno value nearest to a Win32 error code (GetLastError()), so that the
// callers above the seam report every failure the same way on every system.
int ErrnoFromWin32(unsigned long error);

}  // namespace platform

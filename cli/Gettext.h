#pragma once

// porute2avi's texts follow the locale through the "porute2avi" catalogue:
// English in the code, other languages in po/. _() translates at once, N_()
// only marks a text that is translated where it is used.
//
// A build without a catalogue library (configured with PORUTE_NLS off)
// shows the English texts.
#if PORUTE_NLS
#include <libintl.h>
// On Windows libintl.h also puts its own printf family in place of the C
// library's, for translations that reorder arguments; ours keep the order
// (the catalogue test checks it), and the replacements would hide std::snprintf.
#ifdef _WIN32
#undef fprintf
#undef vfprintf
#undef printf
#undef vprintf
#undef sprintf
#undef vsprintf
#undef snprintf
#undef vsnprintf
#undef asprintf
#undef vasprintf
#undef fwprintf
#undef vfwprintf
#undef wprintf
#undef vwprintf
#undef swprintf
#undef vswprintf
#endif
#else
#include <cstddef>

inline const char* gettext(const char* text) { return text; }
inline const char* ngettext(const char* one, const char* many, size_t n) {
  return n == 1 ? one : many;
}
inline const char* bindtextdomain(const char*, const char* folder) { return folder; }
inline const char* textdomain(const char* domain) { return domain; }
#endif

inline constexpr char kTextDomain[] = "porute2avi";

#define _(text) gettext(text)
#define N_(text) (text)

#pragma once

// porute2avi's texts follow the locale through the "porute2avi" catalogue:
// English in the code, other languages in po/. _() translates at once, N_()
// only marks a text that is translated where it is used.
//
// A build without a catalogue library (configured with PORUTE_NLS off)
// shows the English texts.
#if PORUTE_NLS
#include <libintl.h>
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

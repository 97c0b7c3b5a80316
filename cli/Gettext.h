#pragma once

// porute2avi's texts follow the locale through the "porute2avi" catalogue:
// English in the code, other languages in po/. _() translates at once, N_()
// only marks a text that is translated where it is used.
#include <libintl.h>

inline constexpr char kTextDomain[] = "porute2avi";

#define _(text) gettext(text)
#define N_(text) (text)

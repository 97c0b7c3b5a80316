#pragma once

// Texts the user reads are English in the code and looked up in the
// "porute2avi" catalogue; without a catalogue they show as written.
#include <libintl.h>

#ifndef _
#define _(text) gettext(text)
#endif

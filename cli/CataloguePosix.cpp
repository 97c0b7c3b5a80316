#include "cli/Catalogue.h"

#include <clocale>
#include <cstdlib>

#include "cli/Gettext.h"

#ifndef PORUTE2AVI_LOCALEDIR
#define PORUTE2AVI_LOCALEDIR "/usr/local/share/locale"
#endif

// The catalogue is installed with the program; a program run from its build
// tree is told where the build's catalogue is (PORUTE2AVI_LOCALEDIR).
void StartTranslations() {
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  const char* fromEnvironment = std::getenv("PORUTE2AVI_LOCALEDIR");
  bindtextdomain(kTextDomain, fromEnvironment != nullptr && *fromEnvironment != '\0'
                                  ? fromEnvironment
                                  : PORUTE2AVI_LOCALEDIR);
  textdomain(kTextDomain);
}

#include "cli/Catalogue.h"

#include <windows.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "cli/Gettext.h"

// A Windows program finds its files beside itself: the catalogue is in the
// locale folder next to porute2avi.exe, installed or in the build tree. A
// test may name another folder (PORUTE2AVI_LOCALEDIR). The folder is passed
// on in UTF-16, so an installation under a Japanese folder name works on a
// Windows of any language. libintl takes the language from LANGUAGE, LC_ALL,
// LC_MESSAGES or LANG where set, and otherwise from the user's Windows
// language settings.
void StartTranslations() {
  // Unqualified: libintl's own setlocale stands in for the C library's, so
  // that it knows the language asked for (Windows has no LC_MESSAGES).
  setlocale(LC_ALL, "");
  setlocale(LC_NUMERIC, "C");
#if PORUTE_NLS
  std::wstring folder;
  const wchar_t* fromEnvironment = _wgetenv(L"PORUTE2AVI_LOCALEDIR");
  if (fromEnvironment != nullptr && *fromEnvironment != L'\0') {
    folder = fromEnvironment;
  } else {
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
      if (n == 0) return;  // English, as a build without catalogue shows
      if (n < self.size()) {
        self.resize(n);
        break;
      }
      self.resize(self.size() * 2);
    }
    folder = self.substr(0, self.find_last_of(L"\\/") + 1) + L"locale";
  }
  wbindtextdomain(kTextDomain, folder.c_str());
  // The console is switched to UTF-8 (Terminal), and the catalogue is UTF-8.
  bind_textdomain_codeset(kTextDomain, "UTF-8");
  textdomain(kTextDomain);
#endif
}

#include "cli/ShownText.h"

#include <cstdio>

namespace {

// Length of the control character at text[i] (1 for C0 and DEL, 2 for a C1
// control in UTF-8), 0 when none starts there.
size_t ControlAt(std::string_view text, size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c < 0x20 || c == 0x7F) return 1;
  if (c == 0xC2 && i + 1 < text.size()) {
    const auto next = static_cast<unsigned char>(text[i + 1]);
    if (next >= 0x80 && next <= 0x9F) return 2;
  }
  return 0;
}

}  // namespace

std::string ShownText(std::string_view name) {
  bool any = false;
  for (size_t i = 0; i < name.size() && !any; ++i) any = ControlAt(name, i) != 0;
  if (!any) return std::string(name);

  std::string shown;
  shown.reserve(name.size() + 16);
  for (size_t i = 0; i < name.size();) {
    const size_t control = ControlAt(name, i);
    const char c = name[i];
    if (control == 0) {
      if (c == '\\') shown += '\\';
      shown += c;
      ++i;
      continue;
    }
    // The letters C gives the common controls, in the order of their codes
    // from \a (7) to \r (13).
    static constexpr char kLetters[] = "abtnvfr";
    char escape[8];
    if (control == 2) {
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(name[i + 1]));
    } else if (c >= '\a' && c <= '\r') {
      std::snprintf(escape, sizeof escape, "\\%c", kLetters[c - '\a']);
    } else {
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(c));
    }
    shown += escape;
    i += control;
  }
  return shown;
}

#include "cli/ShownText.h"

#include <cerrno>
#include <cstdio>

#include "cli/ShiftJis.h"

namespace {

// Length of the UTF-8 sequence at text[i], 0 when none valid starts there.
size_t Utf8At(std::string_view text, size_t i) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char c = s[i];
  if (c < 0x80) return 1;
  const size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) return 0;
  }
  if (length == 3 && ((c == 0xE0 && s[i + 1] < 0xA0) || (c == 0xED && s[i + 1] >= 0xA0))) return 0;
  if (length == 4 && ((c == 0xF0 && s[i + 1] < 0x90) || (c == 0xF4 && s[i + 1] >= 0x90))) return 0;
  return length;
}

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

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8At(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string NameText(std::string_view name) {
  if (IsUtf8(name)) return std::string(name);
  std::string decoded = Utf8FromShiftJis(name);
  if (!decoded.empty()) return decoded;
  std::string text;
  for (size_t i = 0; i < name.size();) {
    const size_t length = Utf8At(name, i);
    if (length == 0) {
      text += "\xEF\xBF\xBD";
      ++i;
    } else {
      text.append(name.substr(i, length));
      i += length;
    }
  }
  return text;
}

std::string ShownText(std::string_view name) {
  std::string decoded;
  if (!IsUtf8(name)) {
    decoded = Utf8FromShiftJis(name);
    if (!decoded.empty()) name = decoded;
  }
  bool any = false;
  for (size_t i = 0; i < name.size() && !any; ++i) {
    any = ControlAt(name, i) != 0 || Utf8At(name, i) == 0;
  }
  if (!any) return std::string(name);

  std::string shown;
  shown.reserve(name.size() + 16);
  for (size_t i = 0; i < name.size();) {
    const size_t control = ControlAt(name, i);
    const char c = name[i];
    if (control == 0) {
      const size_t length = Utf8At(name, i);
      if (length == 0) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(c));
        shown += escape;
        ++i;
        continue;
      }
      if (c == '\\') shown += '\\';
      shown.append(name.substr(i, length));
      i += length;
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

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8At(text, i);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F || ControlAt(text, i) == 2) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x",
                    c == 0xC2 ? static_cast<unsigned char>(text[i + 1]) : c);
      out += escape;
    } else if (length == 0) {
      out += "\xEF\xBF\xBD";
    } else {
      out.append(text.substr(i, length));
    }
    i += length == 0 ? 1 : length;
  }
  out += '"';
  return out;
}

std::string JsonNameMembers(const char* key, std::string_view name) {
  std::string members = "\"";
  members += key;
  members += "\": " + JsonString(NameText(name));
  if (IsUtf8(name)) return members;
  members += ", \"";
  members += key;
  members += "_bytes\": \"";
  static constexpr char kDigits[] = "0123456789abcdef";
  for (const char c : name) {
    members += kDigits[static_cast<unsigned char>(c) >> 4];
    members += kDigits[static_cast<unsigned char>(c) & 15];
  }
  members += '"';
  return members;
}

#include <iconv.h>

#include "cli/ShiftJis.h"

std::string Utf8FromShiftJis(std::string_view name) {
  iconv_t converter = iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) return {};
  std::string decoded(name.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(name.data());
  size_t inLeft = name.size();
  char* out = decoded.data();
  size_t outLeft = decoded.size();
  const size_t converted = iconv(converter, &in, &inLeft, &out, &outLeft);
  iconv_close(converter);
  if (converted == static_cast<size_t>(-1) || inLeft != 0) return {};
  decoded.resize(decoded.size() - outLeft);
  return decoded;
}

#include "v02dec/CompanionNames.h"

std::vector<std::string> CompanionNames(const std::string& moviePath) {
  const size_t slash = moviePath.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t stemEnd = moviePath.rfind('.');
  if (stemEnd == std::string::npos || stemEnd < nameStart) stemEnd = moviePath.size();
  std::vector<std::string> names;
  names.reserve(8);
  for (unsigned upperMask : {0u, 7u, 1u, 2u, 3u, 4u, 5u, 6u}) {
    std::string name = moviePath.substr(0, stemEnd) + ".snd";
    for (unsigned letter = 0; letter < 3; ++letter) {
      if (upperMask & (1u << letter)) {
        char& c = name[name.size() - 3 + letter];
        c = static_cast<char>(c - 'a' + 'A');
      }
    }
    names.push_back(std::move(name));
  }
  return names;
}

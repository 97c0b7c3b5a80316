#pragma once

// Names for parameterised cases. GoogleTest's default prints the parameter's
// bytes, heap addresses among them, so CTest's names would change from build
// to build; these depend on the table alone.

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace porute_test {

// The text's ASCII letters and digits, any run of other bytes as one "_".
inline std::string CaseName(std::string_view text) {
  std::string name;
  for (const unsigned char c : text) {
    if (c < 0x80 && std::isalnum(c)) {
      name += static_cast<char>(c);
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? "_" : name;
}

// Names each case by its `label` field.
struct ByLabel {
  template <typename Case>
  std::string operator()(const testing::TestParamInfo<Case>& info) const {
    return CaseName(info.param.label);
  }
};

// Names each case by its place in the table and the text `describe` gives
// it: for tables without labels, whose texts need not be unique.
template <typename Describe>
auto ByIndexAnd(Describe describe) {
  return [describe](const auto& info) {
    return std::to_string(info.index) + "_" + CaseName(describe(info.param));
  };
}

}  // namespace porute_test

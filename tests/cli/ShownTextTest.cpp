#include "cli/ShownText.h"

#include <gtest/gtest.h>

namespace {

TEST(ShownText, ControlCharactersAreWrittenOut) {
  const struct {
    std::string name;
    std::string shown;
  } cases[] = {
      {"plain.V02", "plain.V02"},
      // Without control characters a backslash is the name's own.
      {"a\\b.V02", "a\\b.V02"},
      {"動画.V02", "動画.V02"},
      {"a\x1b[31mred.V02", "a\\x1b[31mred.V02"},
      {"line\nbreak\t\r.V02", "line\\nbreak\\t\\r.V02"},
      {"bell\a\b\f\v\x7f", "bell\\a\\b\\f\\v\\x7f"},
      // Once escaping, backslashes are doubled: "\\x1b" is then no ESC.
      {"\\x1b\x1b", "\\\\x1b\\x1b"},
      // C1 controls in UTF-8 (here CSI) are controls too.
      {"a\xc2\x9b"
       "2J",
       "a\\u009b2J"},
      {std::string("nul\0x", 5), "nul\\x00x"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShownText(c.name), c.shown) << c.shown;
}

}  // namespace

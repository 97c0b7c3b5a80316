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
      // Shift-JIS (CP932) is decoded, its 0x5C trail byte included (表).
      {"\x93\xae\x89\xe6.V02", "動画.V02"},
      {"\x95\x5c\n.V02", "表\\n.V02"},
      // Neither UTF-8 nor Shift-JIS: the odd byte written out.
      {"a\xff\\.V02", "a\\xff\\\\.V02"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShownText(c.name), c.shown) << c.shown;
}

TEST(ShownText, JsonNamesCarryTheirBytesWhenNotUtf8) {
  EXPECT_EQ(JsonNameMembers("file", "a\"b\n.V02"), "\"file\": \"a\\\"b\\u000a.V02\"");
  EXPECT_EQ(JsonNameMembers("path", "\x93\xae.V02"),
            "\"path\": \"動.V02\", \"path_bytes\": \"93ae2e563032\"");
  EXPECT_EQ(JsonNameMembers("path", "\xff"), "\"path\": \"\xEF\xBF\xBD\", \"path_bytes\": \"ff\"");
}

}  // namespace

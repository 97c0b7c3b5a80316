#include "cli/ProgressLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "cli/ConsoleHost.h"
#include "tests/common/CaseNames.h"

namespace {

std::string Format(std::string_view name, size_t columns) {
  ProgressState state;
  state.batchPercent = 45;
  state.fileNumber = 2;
  state.fileTotal = 3;
  state.framesDone = 120;
  state.frameTotal = 300;
  state.fileName = name;
  state.framesPerSecond = 52;
  state.elapsedSeconds = 12;
  state.secondsLeft = 5;
  char out[512];
  return std::string(out, FormatProgressLine(state, columns, out, sizeof out));
}

struct LineCase {
  const char* name;
  size_t columns;
  const char* expected;
};

class ProgressLines : public testing::TestWithParam<LineCase> {};

TEST_P(ProgressLines, FitTheTerminal) {
  const LineCase& c = GetParam();
  const std::string line = Format(c.name, c.columns);
  EXPECT_EQ(line, c.expected);
  EXPECT_LE(DisplayWidth(line), c.columns);
}

// The head " 45% [2/3] 120/300 52 fps 0:12 elapsed 0:05 left " is 49 cells.
#define HEAD " 45% [2/3] 120/300 52 fps 0:12 elapsed 0:05 left "
INSTANTIATE_TEST_SUITE_P(
    Table, ProgressLines,
    testing::Values(LineCase{"clip.V02", 79, HEAD "clip.V02"},
                    LineCase{"clip.V02", 57, HEAD "clip.V02"},
                    LineCase{"clip.V02", 56, HEAD "clip..."}, LineCase{"clip.V02", 52, HEAD},
                    LineCase{"clip.V02", 10, " 45% [2/3]"},
                    // Kana take two cells: a cut never splits one, and the
                    // line may come out a cell short rather than over.
                    LineCase{"動画ファイル.V02", 65, HEAD "動画ファイル.V02"},
                    LineCase{"動画ファイル.V02", 64, HEAD "動画ファイル..."},
                    LineCase{"動画ファイル.V02", 63, HEAD "動画ファイ..."},
                    // Bytes that are not UTF-8 count one cell each.
                    LineCase{"\xff\xfe\x83.V02", 79, HEAD "\xff\xfe\x83.V02"}),
    porute_test::ByIndexAnd([](const LineCase& c) {
      return std::string(c.name) + " in " + std::to_string(c.columns) + " columns";
    }));
#undef HEAD

TEST(ProgressClock, MinutesAndHours) {
  const struct {
    int64_t seconds;
    const char* text;
  } cases[] = {{0, "0:00"}, {7, "0:07"}, {754, "12:34"}, {3723, "1:02:03"}, {-5, "0:00"}};
  for (const auto& c : cases) {
    char text[32];
    FormatClock(c.seconds, text, sizeof text);
    EXPECT_STREQ(text, c.text) << c.seconds;
  }
}

TEST(DisplayWidth, CountsWideAndNarrowCharacters) {
  EXPECT_EQ(DisplayWidth("abc"), 3u);
  EXPECT_EQ(DisplayWidth("変換ぽるて"), 10u);
  EXPECT_EQ(DisplayWidth("ＡＢ"), 4u);  // full-width forms
  EXPECT_EQ(DisplayWidth("é"), 1u);
  EXPECT_EQ(DisplayWidth("\xe3\x81"), 2u);  // a cut character: two stray bytes
}

TEST(OverwriteReply, WordsAndLetters) {
  struct Case {
    const char* line;
    std::optional<OverwriteAnswer> answer;
  };
  const Case cases[] = {
      {"y", OverwriteAnswer::kYes},        {"Yes", OverwriteAnswer::kYes},
      {"  YES \r", OverwriteAnswer::kYes}, {"n", OverwriteAnswer::kNo},
      {"no", OverwriteAnswer::kNo},        {"a", OverwriteAnswer::kYesToAll},
      {"ALL", OverwriteAnswer::kYesToAll}, {"", std::nullopt},
      {"ye", std::nullopt},                {"yes please", std::nullopt},
      {"はい", std::nullopt},              {"nope", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseOverwriteReply(c.line), c.answer) << '"' << c.line << '"';
  }
}

}  // namespace

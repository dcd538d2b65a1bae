#include "tool/captured_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace qibor {
namespace {

using namespace std::string_view_literals;

// Every line of the output, taken one after the other.
std::vector<CapturedLine> SplitCapturedLines(std::string_view output) {
  std::vector<CapturedLine> lines;
  CapturedLine line;
  while (TakeCapturedLine(output, line)) lines.push_back(line);
  return lines;
}

struct Line {
  std::string_view text;
  bool endedWithLineFeed;
};

struct SplitCase {
  std::string_view note;
  std::string_view input;
  std::vector<Line> expected;
};

TEST(CapturedLines, Splitting) {
  const SplitCase cases[] = {
      {"empty", ""sv, {}},
      {"one LF line", "a.png\n"sv, {{"a.png", true}}},
      {"one CR LF line", "a.png\r\n"sv, {{"a.png", true}}},
      {"no line end", "a.png"sv, {{"a.png", false}}},
      {"last without LF", "a\r\nb"sv, {{"a", true}, {"b", false}}},
      {"two LFs", "\n\n"sv, {{"", true}, {"", true}}},
      {"CR LF only", "\r\n"sv, {{"", true}}},
      {"lone CR stays", "a\rb\r\n"sv, {{"a\rb", true}}},
      {"lone CR only", "\r"sv, {{"\r", false}}},
      {"CR CR LF", "a\r\r\n"sv, {{"a\r", true}}},
      {"blank line between", "a\r\n\r\nb\r\n"sv, {{"a", true}, {"", true}, {"b", true}}},
      {"NUL kept", "a\0b\n"sv, {{"a\0b"sv, true}}},
      {"listing",
       "-rw-r--r--  0 0      0           5 Dec 09 06:24 a.png\r\n"
       "tar.exe: Error opening archive: Unrecognized archive format\r\n"sv,
       {{"-rw-r--r--  0 0      0           5 Dec 09 06:24 a.png", true},
        {"tar.exe: Error opening archive: Unrecognized archive format", true}}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.note);
    const std::vector<CapturedLine> lines = SplitCapturedLines(c.input);
    ASSERT_EQ(lines.size(), c.expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].text, c.expected[i].text) << "line " << i;
      EXPECT_EQ(lines[i].endedWithLineFeed, c.expected[i].endedWithLineFeed) << "line " << i;
    }
  }
}

// Long lines must not be cut into pieces, and lines are views of the output
// itself (the caller keeps the buffer), not copies.
TEST(CapturedLines, LongLinesAreWholeViews) {
  const std::string longPath = "dir/" + std::string(296, 'x');
  const std::string output = "a.png\r\n" + longPath + "\r\n" + longPath + "b";
  const std::vector<CapturedLine> lines = SplitCapturedLines(output);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].text.size(), 300u);
  EXPECT_EQ(lines[1].text, longPath);
  EXPECT_TRUE(lines[1].endedWithLineFeed);
  EXPECT_EQ(lines[2].text, longPath + "b");
  EXPECT_FALSE(lines[2].endedWithLineFeed);

  const char* begin = output.data();
  const char* end = output.data() + output.size();
  for (const CapturedLine& line : lines) {
    EXPECT_GE(line.text.data(), begin);
    EXPECT_LE(line.text.data() + line.text.size(), end);
  }
  EXPECT_EQ(lines[0].text.data(), begin);
  EXPECT_EQ(lines[1].text.data(), begin + 7);
}

}  // namespace
}  // namespace qibor

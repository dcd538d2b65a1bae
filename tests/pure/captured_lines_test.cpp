#include "tool/captured_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace qibor {
namespace {

using namespace std::string_view_literals;

struct ReadLineResult {
  std::string text;
  bool endedWithLineFeed;
};

// Reads the output through a LineReader whose source gives at most `piece`
// bytes a call, as a file read may.
std::vector<ReadLineResult> ReadInPieces(std::string_view output, std::size_t piece, LineReader& reader) {
  std::size_t offset = 0;
  auto readMore = [&](char* into, std::size_t room) {
    const std::size_t n = std::min({room, piece, output.size() - offset});
    std::copy_n(output.data() + offset, n, into);
    offset += n;
    return n;
  };
  std::vector<ReadLineResult> lines;
  CapturedLine line;
  while (ReadCapturedLine(reader, line, readMore)) lines.push_back({std::string(line.text), line.endedWithLineFeed});
  EXPECT_FALSE(ReadCapturedLine(reader, line, readMore)) << "a reader at its end stays there";
  return lines;
}

std::vector<ReadLineResult> ReadInPieces(std::string_view output, std::size_t piece) {
  LineReader reader;
  return ReadInPieces(output, piece, reader);
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
    // Read in pieces of any size, even a CR and its LF in different pieces.
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3}, kLineReaderPiece}) {
      const std::vector<ReadLineResult> read = ReadInPieces(c.input, piece);
      ASSERT_EQ(read.size(), c.expected.size()) << "pieces of " << piece;
      for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].text, c.expected[i].text) << "pieces of " << piece << ", line " << i;
        EXPECT_EQ(read[i].endedWithLineFeed, c.expected[i].endedWithLineFeed) << "pieces of " << piece;
      }
    }
  }
}

// Read in pieces, a listing costs the memory of its longest line and a piece,
// however long it is, and a line longer than a piece still comes whole.
TEST(CapturedLines, ReaderHoldsOneLineAtATime) {
  std::string listing;
  for (int i = 0; i < 40000; ++i) listing += "-rw-r--r--  0 u g 1234 Dec 09 06:24 photos/IMG_" + std::to_string(i) + ".jpg\r\n";
  LineReader reader;
  const std::vector<ReadLineResult> lines = ReadInPieces(listing, kLineReaderPiece, reader);
  ASSERT_EQ(lines.size(), 40000u);
  EXPECT_EQ(lines[39999].text, "-rw-r--r--  0 u g 1234 Dec 09 06:24 photos/IMG_39999.jpg");
  EXPECT_GT(listing.size(), 10 * reader.bytes.capacity());

  const std::string longLine = std::string(3 * kLineReaderPiece + 5, 'x');
  LineReader longReader;
  const std::vector<ReadLineResult> longLines = ReadInPieces("a\r\n" + longLine + "\r\nlast", kLineReaderPiece, longReader);
  ASSERT_EQ(longLines.size(), 3u);
  EXPECT_EQ(longLines[1].text, longLine);
  EXPECT_TRUE(longLines[1].endedWithLineFeed);
  EXPECT_EQ(longLines[2].text, "last");
  EXPECT_FALSE(longLines[2].endedWithLineFeed);
  EXPECT_LT(longReader.bytes.capacity(), 2 * (longLine.size() + kLineReaderPiece));
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

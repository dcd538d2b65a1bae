#include "probe/probe_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace qibor {
namespace {

using namespace std::string_view_literals;

TEST(ProbeLines, VerboseLineName) {
  const struct {
    std::string_view line;
    std::string_view name;
  } cases[] = {
      {"-rw-r--r--  0 0      0           5 Dec 09 06:24 a.png"sv, "a.png"sv},
      {"-rw-r--r--  0 user   group    1234 Jan 01  2024 dir/a.txt"sv, "dir/a.txt"sv},
      // Only the one space after the date belongs to the separator.
      {"-rw-r--r--  0 0      0           5 Dec 09 06:24 my  file.png"sv, "my  file.png"sv},
      {"-rw-r--r--  0 0      0           5 Dec 09 06:24  lead.png"sv, " lead.png"sv},
      {"-rw-r--r--  0 0      0           5 Dec 09 06:24 trail.png "sv, "trail.png "sv},
      // A Japanese-locale month is bytes without spaces: one field.
      {"-rw-r--r--  0 0      0           5 12\xe6\x9c\x88 09 06:24 a.png"sv, "a.png"sv},
      {"-rw-r--r--  0 0      0           5 09 12\xe6\x9c\x88  2024 a.png"sv, "a.png"sv},
      {"-rw-r--r--  0 0      0           5 Dec 09 06:24 \x93\xfa\x96\x7b.png"sv, "\x93\xfa\x96\x7b.png"sv},
      // Fewer fields: the line is not a listing line and comes back whole.
      {"tar.exe: Error opening archive: Unrecognized archive format"sv,
       "tar.exe: Error opening archive: Unrecognized archive format"sv},
      {"a b c d e f g"sv, "a b c d e f g"sv},
      {""sv, ""sv},
      {"        "sv, "        "sv},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(VerboseLineName(c.line), c.name);
  }
}

TEST(ProbeLines, OpenErrorLine) {
  const struct {
    std::string_view line;
    bool isOpenError;
  } cases[] = {
      {"tar: Error opening archive: Unrecognized archive format"sv, true},
      {"tar.exe: Error opening archive: Failed to open 'x'"sv, true},
      {"TAR: ERROR OPENING ARCHIVE: UNRECOGNIZED ARCHIVE FORMAT"sv, true},
      {"bsdtar: error opening archive: x"sv, true},
      {"my tar: Error opening archive: x"sv, false},
      {"-rw-r--r--  0 0      0           5 Dec 09 06:24 Error opening archive: x.png"sv, false},
      {"-rw-r--r--  0 0      0           5 Dec 09 06:24 tar: Error opening archive: x.png"sv, false},
      {": Error opening archive: x"sv, false},
      {"tar: Error reading archive: x"sv, false},
      {"tar: Error opening archive"sv, false},
      {"tar:Error opening archive: x"sv, false},
      {"Error opening archive: x"sv, false},
      {"tar: x: Error opening archive: y"sv, false},
      {""sv, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(IsOpenErrorLine(c.line), c.isOpenError);
  }
}

TEST(ProbeLines, ArchivesTheToolCannotReadAreRefused) {
  EXPECT_TRUE(IsToolMessageLine("tar.exe: LZMA codec is unsupported"sv));
  EXPECT_TRUE(IsToolMessageLine("tar.exe: The archive header is encrypted, but currently not supported"sv));
  EXPECT_TRUE(IsToolMessageLine("bsdtar: (null)"sv));
  EXPECT_FALSE(IsToolMessageLine("-rw-r--r--  0 0      0           5 Dec 09 06:24 a: b.png"sv));
  EXPECT_FALSE(IsToolMessageLine("drwxr-xr-x  0 0      0           0 Dec 09 06:24 a/"sv));
  EXPECT_FALSE(IsToolMessageLine("tar.exe:nospace"sv));
  EXPECT_FALSE(IsToolMessageLine(": empty name"sv));

  // Nothing listed: taken only when the tool ended well and said nothing.
  EXPECT_FALSE(ProbeAccepts({0, true, false}, false));
  EXPECT_FALSE(ProbeAccepts({0, true, false}, true));
  EXPECT_FALSE(ProbeAccepts({0, false, false}, false));
  EXPECT_TRUE(ProbeAccepts({0, false, false}, true));
  // Entries listed: taken, even when a damaged member made it complain.
  EXPECT_TRUE(ProbeAccepts({3, true, false}, false));
  EXPECT_FALSE(ProbeAccepts({3, false, true}, true));
}

// Under the `tar` setting a name with a byte outside ASCII refuses the file,
// in any code page; the rest of the line (a month in the user's language) is
// the tool's own text and does not count.
TEST(ProbeLines, CheckedNamesMustBeAscii) {
  const struct {
    std::string output;
    bool checkNames;
    bool refused;
    std::size_t entries;
  } cases[] = {
      {"-rw-r--r--  0 0      0  5 Dec 09 06:24 a.png\r\n", true, false, 1},
      {"-rw-r--r--  0 0      0  5 Dec 09 06:24 caf\xC3\xA9.png\r\n", true, true, 1},
      {"-rw-r--r--  0 0      0  5 Dec 09 06:24 caf\xE9.png\r\n", false, false, 1},
      {"-rw-r--r--  0 0      0  5 12\x8C\x8E 09 05:16 a.png\r\n", true, false, 1},
      {"-rw-r--r--  0 0      0  5 12\x8C\x8E 09 05:16 \x93\xFA.png\r\n", true, true, 1},
      {"tar.exe: Error opening archive: Unrecognized archive format\r\n", false, true, 0},
      {"-rw-r--r--  0 0      0  5 Dec 09 06:24 a.png\r\ntar.exe: Truncated input file\r\n", true, false, 1},
  };
  for (const auto& c : cases) {
    ProbeLines lines;
    AddProbeLines(c.output, c.checkNames, lines);
    EXPECT_EQ(lines.refused, c.refused) << c.output;
    EXPECT_EQ(lines.entries, c.entries) << c.output;
  }
}

}  // namespace
}  // namespace qibor

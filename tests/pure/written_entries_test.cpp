// What a run's "x NAME" lines confirm, and the names the tool gives entries
// there: the listed path less what it strips off the front.
#include "extract/written_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qibor {
namespace {

TEST(WrittenEntries, NamesAsTheToolPrintsThemWhenItExtracts) {
  const struct {
    const char* listed;
    const char* extracted;
  } cases[] = {
      {"a.png", "a.png"},           {"dir/a.png", "dir/a.png"},     {"../evil.txt", "../evil.txt"},
      {"/abs.txt", "abs.txt"},      {"//x/y", "x/y"},               {"/../up.txt", "up.txt"},
      {"/./a", "a"},                {"C:/drive.txt", "drive.txt"},  {"c:rel.png", "rel.png"},
      {"\\back.png", "back.png"},   {"//?/UNC/h/s", "h/s"},         {"//./c:/x", "x"},
      {"/", "."},                   {"C:", "."},                    {"a:b/c:d", "b/c:d"},
      {"1:x", "1:x"},               {"dir/../x", "dir/../x"},       {"\x83\x5C/y.png", "\x83\x5C/y.png"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractedEntryName(c.listed), c.extracted) << c.listed;
}

TEST(WrittenEntries, OnlyWholeLinesInOrderConfirmEntries) {
  const std::vector<std::string> names{"a.png", "b: c.png", "d.png"};
  const struct {
    std::vector<std::string> lines;
    std::size_t confirmed;
    bool failed;
  } cases[] = {
      {{"x a.png", "x b: c.png", "x d.png"}, 3, false},
      {{"tar.exe: Removing leading '/'", "x a.png", "tar: warning", "x b: c.png"}, 2, false},
      {{"x a.png", "x b: c.png: Truncated 7-Zip file body: Invalid argument"}, 1, true},
      {{"x a.png: ZIP bad CRC"}, 0, true},
      {{"x b: c.png"}, 0, true},                                   // out of order
      {{"x a.png", "x b: c.png", "x d.png", "x e.png"}, 3, true},  // one more than expected
      {{"x a.pn"}, 0, true},
      {{"xa.png", "x  a.png", "X a.png"}, 0, true},
      {{"", "x"}, 0, false},
  };
  for (const auto& c : cases) {
    EntryTally tally{names, 0, false};
    for (const std::string& line : c.lines) TallyMessageLine(tally, line);
    EXPECT_EQ(tally.confirmed, c.confirmed) << testing::PrintToString(c.lines);
    EXPECT_EQ(tally.failed, c.failed) << testing::PrintToString(c.lines);
  }
}

}  // namespace
}  // namespace qibor

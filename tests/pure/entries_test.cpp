// Every entry of a listing: its kind, its size, the bytes the tool writes
// for it, and which members their own name selects alone.
#include "listing/entries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qibor {
namespace {

// Only plain files are members, whatever a link's target text says.
TEST(Entries, KindsAsTheVerboseLineShowsThem) {
  const std::string file = "-rw-r--r--  0 0      0          64 Nov 14  2023 keep.png";
  const struct {
    std::string verbose;
    const char* plain;
    EntryKind kind;
  } cases[] = {
      {file, "keep.png", EntryKind::File},
      {"-rw-r--r--  0 0      0          64 Nov 14  2023 a link to b.png", "a link to b.png", EntryKind::File},
      {"-rw-r--r--  0 0      0          64 Nov 14  2023 a -> b.png", "a -> b.png", EntryKind::File},
      {file, "eep.png", EntryKind::Other},  // the name starts after a space
      {file, "", EntryKind::Other},
      {"drwxr-xr-x  0 0      0          10 Nov 14  2023 a/", "a/", EntryKind::Folder},
      {"dr-xr-xr-x  3 0      0        2048 Dec 09 17:23 .", ".", EntryKind::Folder},
      {"lrw-r--r--  0 0      0           0 Nov 14  2023 a -> x 16 Jan 01  2020 a/../v.txt", "a",
       EntryKind::SymbolicLink},
      // Hard links print as files with " link to TARGET" after the name; a
      // target chosen to end with " NAME" still has that text before it.
      {"-rw-r--r--  0 0      0           0 Nov 14  2023 evil.jpg link to ../x.txt", "evil.jpg", EntryKind::HardLink},
      {"-rw-r--r--  0 0      0           0 Nov 14  2023 a link to x 16 Jan 01  2020 a", "a", EntryKind::HardLink},
      {"hrw-r--r--  0 0      0           0 Nov 14  2023 a link to b", "a", EntryKind::Other},
      {"crw-r--r--  0 0      0         4,1 Nov 14  2023 tty", "tty", EntryKind::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(KindOf(c.verbose, c.plain), c.kind) << c.verbose << " / " << c.plain;

  Entries entries;
  AddEntry(entries, "keep.png", file);
  AddEntry(entries, "a/", "drwxr-xr-x  0 0      0           0 Nov 14  2023 a/");
  AddEntry(entries, "deep/" + std::string(295, 'x'), "-rw-r--r--  0 0 0 22 Nov 14  2023 deep/" + std::string(295, 'x'));
  ASSERT_EQ(EntryCount(entries), 3u);
  EXPECT_EQ(PathOf(entries, 0), "keep.png");
  EXPECT_EQ(PathOf(entries, 1), "a/");
  EXPECT_EQ(PathOf(entries, 2).size(), 300u);
  EXPECT_EQ(entries.sizes, (std::vector<std::int64_t>{64, 0, 22}));
}

// What a pass over every entry writes for each: only where the listing tells.
TEST(Entries, BytesTheToolWritesForAnEntry) {
  EXPECT_EQ(BytesWrittenFor(EntryKind::File, 64), 64u);
  EXPECT_EQ(BytesWrittenFor(EntryKind::File, 0), 0u);
  EXPECT_EQ(BytesWrittenFor(EntryKind::Folder, 0), 0u);
  EXPECT_EQ(BytesWrittenFor(EntryKind::SymbolicLink, 0), 0u);
  EXPECT_FALSE(BytesWrittenFor(EntryKind::Folder, 10));   // a zip's folder stored with bytes
  EXPECT_FALSE(BytesWrittenFor(EntryKind::HardLink, 0));  // may write what a tar stores after it
  EXPECT_FALSE(BytesWrittenFor(EntryKind::Other, 0));
  EXPECT_FALSE(BytesWrittenFor(EntryKind::File, -1));
}

Entries EntriesOf(const std::vector<std::string>& paths) {
  Entries entries;
  for (const std::string& path : paths) AddEntry(entries, path, "-rw-r--r--  0 0 0 5 Nov 14  2023 " + path);
  return entries;
}

// A member whose own name selects nothing else is fetched in one run that
// stops at the tool's first match: no other spelling of its name, no entry
// below it, no "?" that may stand for a unit the code page cannot show.
TEST(Entries, SoleMatchesAreMembersTheirNameSelectsAlone) {
  EXPECT_EQ(MatchKeyOf(std::string_view("d//b.jpg")), "d/b.jpg");
  EXPECT_EQ(MatchKeyOf(std::string_view("./d/./b.jpg")), "d/b.jpg");
  EXPECT_EQ(MatchKeyOf(std::string_view("d/../b.jpg")), "d/../b.jpg");  // ".." is a step of its own
  const Entries entries = EntriesOf({"a.png", "d//b.jpg", "./d/b.jpg", "cover.jpg", "cover.jpg/pad.bin", "x/y.png",
                                     "x", "??.png", "z/", "z", "", "y/c.png/d.png", "y/c.png"});
  const std::vector<std::uint32_t> members{0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 12};
  EXPECT_EQ(SoleMatches(entries, members),
            (std::vector<bool>{true, false, false, false, true, true, false, false, false, false, false}));
  std::vector<std::uint32_t> many;
  std::vector<std::string> paths;
  for (std::uint32_t i = 0; i < 5000; ++i) {
    paths.push_back(std::to_string(i % 50) + "/p" + std::to_string(i) + ".png");
    many.push_back(i);
  }
  paths.push_back("7/p7.png");
  const std::vector<bool> sole = SoleMatches(EntriesOf(paths), many);
  EXPECT_EQ(std::count(sole.begin(), sole.end(), false), 1);
  EXPECT_FALSE(sole[7]);
}

TEST(Entries, NamesAndFolders) {
  const struct {
    const wchar_t* path;
    const wchar_t* folder;
    const wchar_t* name;
  } cases[] = {
      {L"a.png", L"", L"a.png"},         {L"dir/a.png", L"dir/", L"a.png"}, {L"d1/d2/a b.png", L"d1/d2/", L"a b.png"},
      {L"dir\\a.txt", L"", L"dir\\a.txt"}, {L"dir/", L"dir/", L""},       {L"", L"", L""},
      {L"/", L"/", L""},                 {L"[Art] T/001.jpg", L"[Art] T/", L"001.jpg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MemberName(c.path), std::wstring_view(c.name)) << testing::PrintToString(std::wstring(c.path));
    EXPECT_EQ(MemberFolder(c.path), std::wstring_view(c.folder)) << testing::PrintToString(std::wstring(c.path));
  }
}

}  // namespace
}  // namespace qibor

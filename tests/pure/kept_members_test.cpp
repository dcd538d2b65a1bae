#include "listing/kept_members.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "interface/record_text.h"
#include "listing/member_size.h"

namespace qibor {
namespace {

std::string VerboseLine(std::int64_t size, const std::string& path) {
  return "-rw-r--r--  0 user   group " + std::to_string(size) + " Dec 09 06:24 " + path;
}

// Lines as the tool writes them, each ended by CR LF.
std::string Output(const std::vector<std::string>& lines) {
  std::string output;
  for (const std::string& line : lines) output += line + "\r\n";
  return output;
}

// The field's text up to its terminator, widened for comparison.
std::wstring FieldText(const RecordChar (&field)[kRecordTextUnits]) {
  std::wstring text;
  for (std::size_t i = 0; i < kRecordTextUnits && field[i] != 0; ++i) {
    text.push_back(static_cast<wchar_t>(field[i]));
  }
  return text;
}

bool AllZeroFrom(const RecordChar (&field)[kRecordTextUnits], std::size_t from) {
  for (std::size_t i = from; i < kRecordTextUnits; ++i) {
    if (field[i] != 0) return false;
  }
  return true;
}

TEST(KeptMembers, PositionsSkipDroppedMembers) {
  const std::int64_t limit = SizeLimitFromMaxMB(64);
  {
    // Dropped members take no position, but kept ones name their own line.
    const std::string plain = Output({"a.png", "empty.png", "b.png"});
    const std::string verbose = Output({VerboseLine(10, "a.png"), VerboseLine(0, "empty.png"), VerboseLine(20, "b.png")});
    const std::vector<KeptMember> kept = FindKeptMembers(plain, verbose, limit);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].line, 0u);
    EXPECT_EQ(kept[0].size, 10);
    EXPECT_EQ(kept[1].line, 2u);
    EXPECT_EQ(kept[1].size, 20);
  }
  {
    const std::string plain = Output({"big.bin", "exact.bin", "over.bin", "c.png"});
    const std::string verbose = Output({VerboseLine(3000000000LL, "big.bin"), VerboseLine(67108864, "exact.bin"),
                                        VerboseLine(67108865, "over.bin"), VerboseLine(7, "c.png")});
    const std::vector<KeptMember> kept = FindKeptMembers(plain, verbose, limit);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].line, 1u);
    EXPECT_EQ(kept[0].size, 67108864);
    EXPECT_EQ(kept[1].line, 3u);
    EXPECT_EQ(kept[1].size, 7);
    EXPECT_TRUE(FindKeptMembers(plain, verbose, 0).empty());
  }
  {
    // The verbose listing came back short: the unmatched plain line has no size.
    const std::string plain = Output({"a.png", "b.png", "c.png"});
    const std::string verbose = Output({VerboseLine(10, "a.png"), VerboseLine(20, "b.png")});
    const std::vector<KeptMember> kept = FindKeptMembers(plain, verbose, limit);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[1].line, 1u);
    EXPECT_TRUE(FindKeptMembers(plain, "", limit).empty());
    // Extra verbose lines have no member to belong to.
    EXPECT_TRUE(FindKeptMembers("", verbose, limit).empty());
  }
  {
    // A long path between others leaves every later pairing intact, and the
    // last lines pair without their line ends.
    const std::string longPath = "deep/" + std::string(295, 'x');
    std::string plain = Output({"a.png", longPath, "b.png", "c.png"});
    std::string verbose = Output({VerboseLine(11, "a.png"), VerboseLine(22, longPath), VerboseLine(33, "b.png"),
                                  VerboseLine(44, "c.png")});
    plain.resize(plain.size() - 2);
    verbose.resize(verbose.size() - 2);
    const std::vector<KeptMember> kept = FindKeptMembers(plain, verbose, limit);
    ASSERT_EQ(kept.size(), 4u);
    for (std::size_t i = 0; i < kept.size(); ++i) {
      EXPECT_EQ(kept[i].line, i);
      EXPECT_EQ(kept[i].size, static_cast<std::int64_t>(11 * (i + 1)));
    }
  }
}

// Only plain files are members, whatever a link's target text says.
TEST(KeptMembers, OnlyPlainFilesAreMembers) {
  const std::string file = "-rw-r--r--  0 0      0          64 Nov 14  2023 keep.png";
  EXPECT_TRUE(IsFileEntry(file, "keep.png"));
  EXPECT_TRUE(IsFileEntry("-rw-r--r--  0 0      0          64 Nov 14  2023 a link to b.png", "a link to b.png"));
  EXPECT_TRUE(IsFileEntry("-rw-r--r--  0 0      0          64 Nov 14  2023 a -> b.png", "a -> b.png"));
  EXPECT_FALSE(IsFileEntry(file, "eep.png"));  // the name starts after a space
  EXPECT_FALSE(IsFileEntry(file, ""));
  EXPECT_FALSE(IsFileEntry("drwxr-xr-x  0 0      0          10 Nov 14  2023 a/", "a/"));
  EXPECT_FALSE(IsFileEntry("dr-xr-xr-x  3 0      0        2048 Dec 09 17:23 .", "."));
  EXPECT_FALSE(IsFileEntry("lrw-r--r--  0 0      0           0 Nov 14  2023 a -> x 16 Jan 01  2020 a/../v.txt", "a"));
  // Hard links print as files with " link to TARGET" after the name; a
  // target chosen to end with " NAME" still has that text before it.
  EXPECT_FALSE(IsFileEntry("-rw-r--r--  0 0      0           0 Nov 14  2023 evil.jpg link to ../x.txt", "evil.jpg"));
  EXPECT_FALSE(IsFileEntry("-rw-r--r--  0 0      0           0 Nov 14  2023 a link to x 16 Jan 01  2020 a", "a"));
  EXPECT_FALSE(IsFileEntry("hrw-r--r--  0 0      0           0 Nov 14  2023 a link to b", "a"));

  // Neither is kept or numbered, so positions name the same files everywhere.
  const std::string plain = "a\r\nkeep.png\r\nb\r\n";
  const std::string verbose =
      "-rw-r--r--  0 0      0           0 Nov 14  2023 a link to x 16 Jan 01  2020 a\r\n" + file +
      "\r\nlrw-r--r--  0 0      0           0 Nov 14  2023 b -> 16 Jan 01  2020 b\r\n";
  const std::vector<KeptMember> kept = FindKeptMembers(plain, verbose, 1 << 20);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].line, 1u);
  EXPECT_EQ(kept[0].size, 64);
}

TEST(KeptMembers, NameAndRecordText) {
  const struct {
    const wchar_t* path;
    const wchar_t* name;
  } names[] = {
      {L"a.png", L"a.png"},           {L"dir/a.png", L"a.png"},
      {L"d1/d2/a b.png", L"a b.png"}, {L"dir\\a.txt", L"dir\\a.txt"},
      {L"dir/", L""},                 {L"", L""},
      {L"/", L""},                    {L"[Art] T/001.jpg", L"001.jpg"},
  };
  for (const auto& n : names) {
    EXPECT_EQ(MemberName(n.path), std::wstring_view(n.name)) << "path " << testing::PrintToString(std::wstring(n.path));
  }
  // In the tool's bytes: code page 932 trail bytes are never "/", but may be "\\".
  EXPECT_EQ(MemberName(std::string_view("\x8e\xca\x90\x5e/\x95\x5c/\x95\x5c.png")), "\x95\x5c.png");
  EXPECT_EQ(MemberName(std::string_view("a/")), "");

  RecordChar field[kRecordTextUnits];
  const struct {
    std::size_t length;
    std::size_t kept;
  } lengths[] = {{0, 0}, {1, 1}, {198, 198}, {199, 199}, {200, 199}, {250, 199}};
  for (const auto& l : lengths) {
    SCOPED_TRACE(testing::Message() << "length " << l.length);
    std::memset(field, 0x5A, sizeof field);  // stale content must not survive
    std::wstring text;
    for (std::size_t i = 0; i < l.length; ++i) text.push_back(static_cast<wchar_t>(L'a' + i % 26));
    CopyToRecordText(field, text);
    EXPECT_EQ(FieldText(field), text.substr(0, l.kept));
    EXPECT_TRUE(AllZeroFrom(field, l.kept));
  }

  if constexpr (sizeof(wchar_t) == 2) {
    const wchar_t high = static_cast<wchar_t>(0xD83D);
    const wchar_t low = static_cast<wchar_t>(0xDE00);
    // The pair would straddle the last unit: it goes whole.
    std::wstring straddling(198, L'a');
    straddling += high;
    straddling += low;
    straddling += L"b.png";
    CopyToRecordText(field, straddling);
    EXPECT_EQ(FieldText(field), std::wstring(198, L'a'));
    EXPECT_TRUE(AllZeroFrom(field, 198));
    // The pair ends exactly at the last unit: it stays.
    std::wstring fitting(197, L'a');
    fitting += high;
    fitting += low;
    fitting += L"b.png";
    CopyToRecordText(field, fitting);
    EXPECT_EQ(FieldText(field), fitting.substr(0, 199));
    EXPECT_TRUE(AllZeroFrom(field, 199));
  }
}

// What a host shows as the member's folder, and where it may be cut.
TEST(KeptMembers, FolderAndRecordPath) {
  const struct {
    const char* path;
    const char* folder;
  } folders[] = {{"a.png", ""},         {"ch2/001.bmp", "ch2/"}, {"d1/d2/a.png", "d1/d2/"},
                 {"dir/", "dir/"},      {"/abs.txt", "/"},       {"", ""},
                 {"a\\\\b/c", "a\\\\b/"}};
  for (const auto& f : folders) EXPECT_EQ(MemberFolder(f.path), f.folder) << f.path;
  // Code page 932 trail bytes may be "\\", never "/".
  EXPECT_EQ(MemberFolder(std::string_view("\x95\x5c/\x95\x5c.png")), "\x95\x5c/");

  RecordChar field[kRecordTextUnits];
  const struct {
    std::wstring folder;
    std::wstring path;
  } paths[] = {
      {L"", L""},
      {L"ch2/", L"ch2\\"},
      {L"d1/d2/", L"d1\\d2\\"},
      {L"d1/d2", L"d1\\d2\\"},                // a folder without its last "/"
      {L"./a//b/./", L"a\\b\\"},              // read by the tool as "a/b/"
      {L"/", L""},
      {L"../up/", L"_\\up\\"},                // no level leads a host out of its folder
      {L"x\\\\y/C:/", L"x__y\\C_\\"},           // nor splits in two, nor names a drive
      {std::wstring(198, L'a') + L"/", std::wstring(198, L'a') + L"\\"},
      {std::wstring(199, L'a') + L"/", L""},  // no room for its "\\"
      {L"top/" + std::wstring(195, L'b') + L"/", L"top\\"},
      {L"top/" + std::wstring(194, L'b') + L"/c/", L"top\\" + std::wstring(194, L'b') + L"\\"},
  };
  for (const auto& p : paths) {
    SCOPED_TRACE(testing::PrintToString(p.folder));
    std::memset(field, 0x5A, sizeof field);
    CopyFolderToRecordPath(field, p.folder);
    EXPECT_EQ(FieldText(field), p.path);
    EXPECT_TRUE(AllZeroFrom(field, p.path.size()));
  }
  if constexpr (sizeof(wchar_t) == 2) {
    // A level holding a surrogate pair goes whole or not at all.
    std::wstring pair = L"p";
    pair += static_cast<wchar_t>(0xD83D);
    pair += static_cast<wchar_t>(0xDE00);
    CopyFolderToRecordPath(field, L"top/" + std::wstring(192, L'q') + pair + L"/");
    EXPECT_EQ(FieldText(field), L"top\\");
  }

  using Cuts = std::vector<std::size_t>;
  EXPECT_EQ(RecordPathCuts(L""), Cuts{});
  EXPECT_EQ(RecordPathCuts(L"a\\bc\\"), (Cuts{2, 5}));
  EXPECT_EQ(RecordPathCuts(L"abc"), Cuts{});
}

// Hosts show a record's path and name, look members up by them and save
// files under them: each is a name Windows holds as it is.
TEST(KeptMembers, RecordNamesArePlainNames) {
  const struct {
    const wchar_t* text;
    const wchar_t* plain;
  } cases[] = {
      {L"pic.png", L"pic.png"},     {L"..a.jpg", L"..a.jpg"},        {L"...png", L"...png"},
      {L"console.png", L"console.png"}, {L"com10.png", L"com10.png"}, {L" lead.png", L" lead.png"},
      {L"[Art] 001.jpg", L"[Art] 001.jpg"}, {L"-P", L"-P"},
      {L"??.png", L"__.png"},       {L"at 12:00.png", L"at 12_00.png"}, {L"a<b>|c\"*.png", L"a_b__c__.png"},
      {L"back\\\\slash.png", L"back__slash.png"}, {L"tab\tin.png", L"tab_in.png"}, {L"a/b", L"a_b"},
      {L"x.jpg.", L"x.jpg_"},       {L"y.jpg ", L"y.jpg_"},          {L"z. .", L"z___"},
      {L".", L"_"},                 {L"..", L"_"},                   {L"....", L"_"},  {L"", L"_"},
      {L"CON", L"_CON"},            {L"con.txt", L"_con.txt"},       {L"LPT1", L"_LPT1"},
      {L"aux .png", L"_aux .png"},  {L"COM\u00B9.png", L"_COM\u00B9.png"}, {L"conin$", L"_conin$"},
  };
  for (const auto& c : cases) {
    const std::wstring plain = PlainNameFor(c.text);
    EXPECT_EQ(plain, c.plain) << testing::PrintToString(std::wstring(c.text));
    EXPECT_TRUE(IsPlainName(plain)) << testing::PrintToString(plain);
    EXPECT_EQ(IsPlainName(c.text), plain == c.text) << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(KeptMembers, TimesAndRecord) {
  EXPECT_EQ(UnixSecondsFromFileTime(116444736000000000ULL), 0);
  EXPECT_EQ(UnixSecondsFromFileTime(133485408000000000ULL), 1704067200);  // 2024-01-01 00:00:00
  // Past 2038 the value stays positive: 64-bit time throughout.
  EXPECT_EQ(UnixSecondsFromFileTime(137919572480000000ULL), 2147483648LL);  // 2038-01-19 03:14:08
  EXPECT_EQ(UnixSecondsFromFileTime(138666384000000000ULL), 2222164800LL);  // 2040-06-01 12:00:00

  ArchiveEntryW record{};
  SetMemberFields(record, 7, 3000000000LL, 2222164800LL);
  CopyToRecordText(record.name, MemberName(L"dir/sub/pic.png"));
  EXPECT_EQ(std::string(record.method, sizeof record.method), std::string("TAR\0\0\0\0\0", 8));
  EXPECT_EQ(record.position, 7u);
  EXPECT_EQ(record.size, 3000000000ULL);
  EXPECT_EQ(record.compressedSize, 3000000000ULL);
  EXPECT_EQ(record.timestamp, 2222164800LL);
  EXPECT_TRUE(AllZeroFrom(record.path, 0));
  EXPECT_EQ(FieldText(record.name), L"pic.png");
  EXPECT_TRUE(AllZeroFrom(record.name, 7));
  EXPECT_EQ(record.crc, 0u);
  EXPECT_FALSE(IsTerminator(record));

  // A record reused for another member keeps nothing of the first.
  std::memset(record.method, 0xAB, sizeof record.method);
  SetMemberFields(record, 0, 1, 0);
  EXPECT_EQ(std::string(record.method, sizeof record.method), std::string("TAR\0\0\0\0\0", 8));
  EXPECT_EQ(record.position, 0u);
  EXPECT_EQ(record.compressedSize, 1u);
}

// A member whose own name selects nothing else is fetched in one run that
// stops at the tool's first match.
TEST(KeptMembers, SoleMatchesAreMembersTheirNameSelectsAlone) {
  EXPECT_EQ(MatchKeyOf(std::string_view("d//b.jpg")), "d/b.jpg");
  EXPECT_EQ(MatchKeyOf(std::string_view("./d/./b.jpg")), "d/b.jpg");
  const std::vector<std::string_view> lines{"a.png", "d//b.jpg", "./d/b.jpg", "cover.jpg", "cover.jpg/pad.bin",
                                            "x/y.png"};
  SoleMatchTally all;
  for (const std::string_view line : lines) TallyEntry(all, line, true);
  EXPECT_EQ(SoleMatches(all), (std::vector<bool>{true, false, false, false, true, true}));
  // "x" is a folder of other entries, not a member's own name.
  SoleMatchTally lastOnly;
  for (const std::string_view line : lines) TallyEntry(lastOnly, line, line == lines.back());
  EXPECT_EQ(SoleMatches(lastOnly), std::vector<bool>{true});
}

// Thousands of entries grow the table many times over; counts survive it.
TEST(KeptMembers, SoleMatchesSurviveTheTableGrowing) {
  SoleMatchTally tally;
  for (int i = 0; i < 5000; ++i) {
    std::string line = std::to_string(i % 50);
    line.append("/p").append(std::to_string(i)).append(".png");
    TallyEntry(tally, line, true);
  }
  TallyEntry(tally, "7/p7.png", false);
  TallyEntry(tally, "3/p3.png/x", false);
  const std::vector<bool> sole = SoleMatches(tally);
  ASSERT_EQ(sole.size(), 5000u);
  EXPECT_EQ(std::count(sole.begin(), sole.end(), false), 2);
  EXPECT_FALSE(sole[7]);
  EXPECT_FALSE(sole[3]);
}

// An archive's author can choose names whose hashes crowd one corner of the
// table. Counting them must stay quick, and then no member counts as alone:
// each fetch takes the careful way.
TEST(KeptMembers, NamesMadeToCrowdTheTallyMakeNoMemberAlone) {
  std::vector<std::string> crowd;
  for (int i = 0; crowd.size() < 100; ++i) {
    std::string name = std::to_string(i);
    name.append(".png");
    if ((TopLevelKeyHash(name) & 0xFFF) == 0x123) crowd.push_back(name);
  }
  SoleMatchTally tally;
  TallyEntry(tally, "first.png", true);
  for (const std::string& name : crowd) TallyEntry(tally, name, true);
  const std::vector<bool> sole = SoleMatches(tally);
  ASSERT_EQ(sole.size(), 101u);
  EXPECT_EQ(std::count(sole.begin(), sole.end(), true), 0);
}

// Counted line by line as a listing is read: an entry below a member's name,
// or a second spelling of it, may come long after the member itself.
TEST(KeptMembers, SoleMatchesCountedAsTheListingIsRead) {
  SoleMatchTally tally;
  TallyEntry(tally, "x/a.png", true);
  TallyEntry(tally, "x/b.png", true);
  TallyEntry(tally, "x", true);             // a member named as the folder before it
  TallyEntry(tally, "y/c.png", true);
  TallyEntry(tally, "z/", false);           // a folder entry: counted, not kept
  TallyEntry(tally, "y/c.png/d.png", false);
  TallyEntry(tally, "./x//b.png", false);   // a copy of x/b.png in another spelling
  TallyEntry(tally, "z", true);
  TallyEntry(tally, "", true);
  EXPECT_EQ(SoleMatches(tally), (std::vector<bool>{true, false, false, false, false, false}));
}

}  // namespace
}  // namespace qibor

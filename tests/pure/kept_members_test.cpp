#include "listing/kept_members.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "listing/member_size.h"

namespace qibor {
namespace {

std::wstring VerboseLine(std::int64_t size, const std::wstring& path) {
  return L"-rw-r--r--  0 user   group " + std::to_wstring(size) + L" Dec 09 06:24 " + path;
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
    const std::vector<std::wstring> plain = {L"a.png", L"empty.png", L"b.png"};
    const std::vector<std::wstring> verbose = {VerboseLine(10, L"a.png"), VerboseLine(0, L"empty.png"),
                                               VerboseLine(20, L"b.png")};
    const std::vector<KeptMember> kept = FindKeptMembers(plain, verbose, limit);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].line, 0u);
    EXPECT_EQ(kept[0].size, 10);
    EXPECT_EQ(kept[1].line, 2u);
    EXPECT_EQ(kept[1].size, 20);
  }
  {
    const std::vector<std::wstring> plain = {L"big.bin", L"exact.bin", L"over.bin", L"c.png"};
    const std::vector<std::wstring> verbose = {VerboseLine(3000000000LL, L"big.bin"),
                                               VerboseLine(67108864, L"exact.bin"),
                                               VerboseLine(67108865, L"over.bin"), VerboseLine(7, L"c.png")};
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
    const std::vector<std::wstring> plain = {L"a.png", L"b.png", L"c.png"};
    const std::vector<std::wstring> verbose = {VerboseLine(10, L"a.png"), VerboseLine(20, L"b.png")};
    const std::vector<KeptMember> kept = FindKeptMembers(plain, verbose, limit);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[1].line, 1u);
    EXPECT_TRUE(FindKeptMembers(plain, {}, limit).empty());
    // Extra verbose lines have no member to belong to.
    EXPECT_TRUE(FindKeptMembers({}, verbose, limit).empty());
  }
  {
    // A long path between others leaves every later pairing intact.
    const std::wstring longPath = L"deep/" + std::wstring(295, L'x');
    const std::vector<std::wstring> plain = {L"a.png", longPath, L"b.png", L"c.png"};
    const std::vector<std::wstring> verbose = {VerboseLine(11, L"a.png"), VerboseLine(22, longPath),
                                               VerboseLine(33, L"b.png"), VerboseLine(44, L"c.png")};
    const std::vector<KeptMember> kept = FindKeptMembers(plain, verbose, limit);
    ASSERT_EQ(kept.size(), 4u);
    for (std::size_t i = 0; i < kept.size(); ++i) {
      EXPECT_EQ(kept[i].line, i);
      EXPECT_EQ(kept[i].size, static_cast<std::int64_t>(11 * (i + 1)));
    }
  }
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

TEST(KeptMembers, TimesAndRecord) {
  EXPECT_EQ(UnixSecondsFromFileTime(116444736000000000ULL), 0);
  EXPECT_EQ(UnixSecondsFromFileTime(133485408000000000ULL), 1704067200);  // 2024-01-01 00:00:00
  // Past 2038 the value stays positive: 64-bit time throughout.
  EXPECT_EQ(UnixSecondsFromFileTime(137919572480000000ULL), 2147483648LL);  // 2038-01-19 03:14:08
  EXPECT_EQ(UnixSecondsFromFileTime(138666384000000000ULL), 2222164800LL);  // 2040-06-01 12:00:00

  ArchiveEntryW record;
  std::memset(&record, 0xAB, sizeof record);  // every field must be written
  FillMemberRecord(record, 7, 3000000000LL, 2222164800LL, L"dir/sub/pic.png");
  EXPECT_EQ(static_cast<unsigned>(record.method[0]), unsigned{'T'});
  EXPECT_EQ(static_cast<unsigned>(record.method[1]), unsigned{'A'});
  EXPECT_EQ(static_cast<unsigned>(record.method[2]), unsigned{'R'});
  EXPECT_EQ(static_cast<unsigned>(record.method[3]), 0u);
  EXPECT_EQ(record.position, 7u);
  EXPECT_EQ(record.size, 3000000000ULL);
  EXPECT_EQ(record.compressedSize, 3000000000ULL);
  EXPECT_EQ(record.timestamp, 2222164800LL);
  EXPECT_TRUE(AllZeroFrom(record.path, 0));
  EXPECT_EQ(FieldText(record.name), L"pic.png");
  EXPECT_TRUE(AllZeroFrom(record.name, 7));
  EXPECT_EQ(record.crc, 0u);
  EXPECT_FALSE(IsTerminator(record));

  FillMemberRecord(record, 0, 1, 0, std::wstring(250, L'n'));
  EXPECT_EQ(FieldText(record.name), std::wstring(199, L'n'));
  EXPECT_EQ(record.position, 0u);
}

}  // namespace
}  // namespace qibor

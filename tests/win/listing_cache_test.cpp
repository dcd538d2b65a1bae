// The sixteen-slot listing cache on its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "floor/unique_any.h"
#include "interface/record_text.h"
#include "listing/kept_members.h"
#include "listing/listing_cache.h"

namespace qibor {
namespace {

// A list of `count` records named "m0", "m1", ... with the given size.
UniqueLocal MakeList(int count, std::uint64_t size = 1) {
  UniqueLocal list(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, (count + 1) * sizeof(ArchiveEntryW)));
  auto* records = list.as<ArchiveEntryW>();
  for (int i = 0; i < count; ++i) {
    SetMemberFields(records[i], static_cast<std::uint64_t>(i), static_cast<std::int64_t>(size), 1704067200);
    CopyToRecordText(records[i].name, L"m" + std::to_wstring(i));
  }
  return list;
}

std::uint64_t CachedSize(ListingCache& cache, const std::wstring& path) {
  HLOCAL copy = nullptr;
  if (cache.Lookup(path, &copy, nullptr) != Success) return 0;
  const std::uint64_t size = static_cast<ArchiveEntryW*>(copy)->size;
  LocalFree(copy);
  return size;
}

TEST(ListingCache, KeepsTheSixteenNewestAndTheNewestWins) {
  ListingCache cache;
  for (int i = 0; i < 17; ++i) cache.Store(L"C:\\a" + std::to_wstring(i) + L".7z", MakeList(1, 100 + i).get());
  EXPECT_EQ(CachedSize(cache, L"C:\\a0.7z"), 0u);  // its slot was reused by the 17th
  EXPECT_EQ(CachedSize(cache, L"C:\\a1.7z"), 101u);
  EXPECT_EQ(CachedSize(cache, L"C:\\A16.7Z"), 116u);  // paths compare without case

  cache.Store(L"C:\\a1.7z", MakeList(1, 999).get());
  EXPECT_EQ(CachedSize(cache, L"C:\\a1.7z"), 999u);

  cache.Clear();
  HLOCAL copy = reinterpret_cast<HLOCAL>(0x1234);
  EXPECT_EQ(cache.Lookup(L"C:\\a1.7z", &copy, nullptr), ListingCache::kNotCached);
  EXPECT_EQ(copy, reinterpret_cast<HLOCAL>(0x1234));
  // After a clear the cache fills again from its first slot.
  cache.Store(L"C:\\b.7z", MakeList(1, 5).get());
  EXPECT_EQ(CachedSize(cache, L"C:\\b.7z"), 5u);
}

TEST(ListingCache, ListCopiesAreWholeAndIndependent) {
  ListingCache cache;
  cache.Store(L"C:\\x.7z", MakeList(3).get());
  HLOCAL first = nullptr;
  HLOCAL second = nullptr;
  ASSERT_EQ(cache.Lookup(L"C:\\x.7z", &first, nullptr), Success);
  ASSERT_EQ(cache.Lookup(L"C:\\x.7z", &second, nullptr), Success);
  EXPECT_NE(first, second);
  EXPECT_EQ(LocalSize(first), 4 * sizeof(ArchiveEntryW));
  static_cast<ArchiveEntryW*>(first)->size = 77;  // the host may scribble on its copy
  LocalFree(first);
  EXPECT_EQ(static_cast<ArchiveEntryW*>(second)->size, 1u);
  EXPECT_TRUE(IsTerminator(static_cast<ArchiveEntryW*>(second)[3]));
  LocalFree(second);
}

TEST(ListingCache, QueriesMatchByNameOrPosition) {
  ListingCache cache;
  cache.Store(L"C:\\x.7z", MakeList(5).get());
  ArchiveEntryW query{};
  std::wcscpy(query.name, L"M3");
  ASSERT_EQ(cache.Lookup(L"C:\\x.7z", nullptr, &query), Success);
  EXPECT_EQ(query.position, 3u);
  EXPECT_STREQ(query.name, L"m3");

  ArchiveEntryW byPosition{};
  byPosition.position = 3;
  ASSERT_EQ(cache.Lookup(L"C:\\x.7z", nullptr, &byPosition), Success);
  EXPECT_STREQ(byPosition.name, L"m3");

  ArchiveEntryW missing{};
  missing.position = 5;
  EXPECT_EQ(cache.Lookup(L"C:\\x.7z", nullptr, &missing), UnknownFormat);  // a cached miss is 2
  std::wcscpy(missing.name, L"nope");
  EXPECT_EQ(cache.Lookup(L"C:\\x.7z", nullptr, &missing), UnknownFormat);

  cache.Store(L"C:\\empty.7z", MakeList(0).get());
  ArchiveEntryW first{};
  EXPECT_EQ(cache.Lookup(L"C:\\empty.7z", nullptr, &first), UnknownFormat);
}

// The comic: a page "001.bmp" in two chapters, as the builder lists it, with
// the paths the tool printed.
struct Comic {
  UniqueLocal list;
  ToolPaths paths;
};
Comic MakeComic() {
  const char* const lines[] = {"ch1/001.bmp", "ch2/001.bmp", "ch2/002.bmp", "001.bmp"};
  Comic comic{UniqueLocal(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, 5 * sizeof(ArchiveEntryW))), {}};
  auto* records = comic.list.as<ArchiveEntryW>();
  for (int i = 0; i < 4; ++i) {
    const std::string_view line = lines[i];
    SetMemberFields(records[i], static_cast<std::uint64_t>(i), 100 + i, 1704067200);
    const std::string_view folder = MemberFolder(line);
    CopyFolderToRecordPath(records[i].path, std::wstring(folder.begin(), folder.end()));
    const std::string_view name = MemberName(line);
    CopyToRecordText(records[i].name, std::wstring(name.begin(), name.end()));
    AddToolPath(comic.paths, line);
  }
  return comic;
}

TEST(ListingCache, QueriesMatchPathAndNameBeforeTheNameAlone) {
  ListingCache cache;
  Comic comic = MakeComic();
  cache.Store(L"C:\\comic.7z", comic.list.get(), comic.paths);
  const struct {
    const wchar_t* text;
    bool nameAlone;
    int result;
    std::uint64_t position;
  } cases[] = {
      {L"ch2\\001.bmp", true, Success, 1},  {L"CH2/001.BMP", true, Success, 1},
      {L"ch1/001.bmp", true, Success, 0},    {L"ch2\\002.bmp", false, Success, 2},
      {L"001.bmp", true, Success, 3},        // the member at the top has that path + name
      {L"002.bmp", true, Success, 2},        // no path + name: the first of that name
      {L"002.bmp", false, UnknownFormat, 0}, {L"ch1\\002.bmp", true, UnknownFormat, 0},
      {L"h2\\001.bmp", true, UnknownFormat, 0}, {L"ch2\\", true, UnknownFormat, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(c.text)) << " " << c.nameAlone);
    ArchiveEntryW record;
    std::memset(&record, 0xCC, sizeof record);
    std::string memberPath = "stale";
    ASSERT_EQ(cache.Lookup(L"C:\\comic.7z", MemberQuery{c.text, 0, c.nameAlone}, record, &memberPath), c.result);
    if (c.result != Success) {
      EXPECT_EQ(record.size, 0xCCCCCCCCCCCCCCCCull);
      EXPECT_EQ(memberPath, "stale");
      continue;
    }
    EXPECT_EQ(record.position, c.position);
    EXPECT_EQ(std::memcmp(&record, comic.list.as<ArchiveEntryW>() + c.position, sizeof record), 0);
    EXPECT_EQ(memberPath, ToolPathOf(comic.paths, c.position));
  }

  // A fetch asks by position and gets the member's path as the tool printed it.
  ArchiveEntryW byPosition{};
  byPosition.position = 1;
  std::string memberPath;
  ASSERT_EQ(cache.Lookup(L"C:\\comic.7z", nullptr, &byPosition, &memberPath), Success);
  EXPECT_EQ(memberPath, "ch2/001.bmp");
  EXPECT_STREQ(byPosition.path, L"ch2\\");
  // The query record's name is a query text too.
  ArchiveEntryW byName{};
  std::wcscpy(byName.name, L"ch2/002.bmp");
  ASSERT_EQ(cache.Lookup(L"C:\\comic.7z", nullptr, &byName, &memberPath), Success);
  EXPECT_EQ(byName.position, 2u);
  EXPECT_EQ(memberPath, "ch2/002.bmp");

  // The host's whole list carries the folders.
  HLOCAL copy = nullptr;
  ASSERT_EQ(cache.Lookup(L"C:\\comic.7z", &copy, nullptr), Success);
  EXPECT_EQ(std::memcmp(copy, comic.list.get(), 5 * sizeof(ArchiveEntryW)), 0);
  LocalFree(copy);

  // A list stored without the tool's paths answers with an empty one.
  cache.Store(L"C:\\bare.7z", MakeComic().list.get());
  memberPath = "stale";
  ASSERT_EQ(cache.Lookup(L"C:\\bare.7z", MemberQuery{L"ch2/001.bmp"}, byPosition, &memberPath), Success);
  EXPECT_EQ(byPosition.position, 1u);
  EXPECT_EQ(memberPath, "");
}

TEST(ListingCache, FindRecordSearchesAHostListTheSameWay) {
  const Comic comic = MakeComic();
  const auto* records = comic.list.as<ArchiveEntryW>();
  EXPECT_EQ(FindRecord(comic.list.get(), MemberQuery{L"CH2/001.bmp"}), records + 1);
  EXPECT_EQ(FindRecord(comic.list.get(), MemberQuery{L"002.bmp"}), records + 2);
  EXPECT_EQ(FindRecord(comic.list.get(), MemberQuery{L"002.bmp", 0, false}), nullptr);
  EXPECT_EQ(FindRecord(comic.list.get(), MemberQuery{L"", 3}), records + 3);
  EXPECT_EQ(FindRecord(comic.list.get(), MemberQuery{L"", 4}), nullptr);
}

}  // namespace
}  // namespace qibor

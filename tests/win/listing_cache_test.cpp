// The sixteen-slot listing cache on its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "interface/win_owners.h"
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

}  // namespace
}  // namespace qibor

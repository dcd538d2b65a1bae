// The sixteen-slot listing cache on its own.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "listing/listing_cache.h"

namespace qibor {
namespace {

std::shared_ptr<const ArchiveList> ListDated(std::int64_t timestamp) {
  auto list = std::make_shared<ArchiveList>();
  list->timestamp = timestamp;
  return list;
}

std::int64_t CachedDate(const ListingCache& cache, const std::wstring& path) {
  const std::shared_ptr<const ArchiveList> list = cache.Find(path);
  return list ? list->timestamp : 0;
}

TEST(ListingCache, KeepsTheSixteenNewestAndTheNewestWins) {
  ListingCache cache;
  for (int i = 0; i < 17; ++i) cache.Store(L"C:\\a" + std::to_wstring(i) + L".7z", ListDated(100 + i));
  EXPECT_EQ(CachedDate(cache, L"C:\\a0.7z"), 0);  // its slot was reused by the 17th
  EXPECT_EQ(CachedDate(cache, L"C:\\a1.7z"), 101);
  EXPECT_EQ(CachedDate(cache, L"C:\\A16.7Z"), 116);  // paths compare without case

  cache.Store(L"C:\\a1.7z", ListDated(999));
  EXPECT_EQ(CachedDate(cache, L"C:\\a1.7z"), 999);

  // A list a fetch holds outlives the cache's letting it go.
  const std::shared_ptr<const ArchiveList> held = cache.Find(L"C:\\a5.7z");
  cache.Clear();
  EXPECT_EQ(cache.Find(L"C:\\a1.7z"), nullptr);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->timestamp, 105);
  // After a clear the cache fills again from its first slot.
  cache.Store(L"C:\\b.7z", ListDated(5));
  EXPECT_EQ(CachedDate(cache, L"C:\\b.7z"), 5);
}

}  // namespace
}  // namespace qibor

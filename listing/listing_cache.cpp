#include "listing/listing_cache.h"

#include "floor/unique_any.h"

namespace qibor {

ListingCache::ListingCache() { InitializeCriticalSection(&lock_); }

ListingCache::~ListingCache() {
  if (abandoned_) {
    static_cast<void>(slots_.release());
    return;
  }
  DeleteCriticalSection(&lock_);
}

void ListingCache::Store(const std::wstring& archivePath, std::shared_ptr<const ArchiveList> list) {
  if (!list) return;
  std::wstring path = archivePath;  // made before the lock: a failed copy changes nothing
  std::shared_ptr<const ArchiveList> dropped;
  const auto guard = EnterSection(lock_);
  Slot& slot = (*slots_)[static_cast<std::size_t>(next_)];
  dropped = std::move(slot.list);
  slot.list = std::move(list);
  slot.archivePath = std::move(path);
  next_ = (next_ + 1) % kSlots;
}

std::shared_ptr<const ArchiveList> ListingCache::Find(const std::wstring& archivePath) const {
  const auto guard = EnterSection(lock_);
  int index = next_;
  for (int examined = 0; examined < kSlots; ++examined) {
    index = (index + kSlots - 1) % kSlots;
    const Slot& slot = (*slots_)[static_cast<std::size_t>(index)];
    if (!slot.list) return nullptr;
    if (lstrcmpiW(slot.archivePath.c_str(), archivePath.c_str()) == 0) return slot.list;
  }
  return nullptr;
}

void ListingCache::Clear() {
  Slots dropped;
  const auto guard = EnterSection(lock_);
  dropped.swap(*slots_);
  next_ = 0;
}

namespace {
// Made at the module's static initialisation, before any export can run.
ListingCache g_listingCache;
}  // namespace

ListingCache& TheListingCache() { return g_listingCache; }

}  // namespace qibor

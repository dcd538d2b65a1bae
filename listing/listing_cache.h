#pragma once
// The last sixteen lists, keyed by archive path, so a fetch that follows a
// listing finds its member without running the tool again.
#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "listing/listing.h"

namespace qibor {

class ListingCache {
 public:
  static constexpr int kSlots = 16;

  ListingCache();
  ListingCache(const ListingCache&) = delete;
  ListingCache& operator=(const ListingCache&) = delete;
  ~ListingCache();

  // Keeps the list, over the oldest slot once all are used.
  void Store(const std::wstring& archivePath, std::shared_ptr<const ArchiveList> list);
  // The newest list of the path; null when there is none.
  std::shared_ptr<const ArchiveList> Find(const std::wstring& archivePath) const;
  void Clear();
  // The process is ending: other threads may have died holding the heap's
  // lock, so the lists are left to the system instead of being freed.
  void Abandon() { abandoned_ = true; }

 private:
  struct Slot {
    std::shared_ptr<const ArchiveList> list;
    std::wstring archivePath;
  };

  using Slots = std::array<Slot, kSlots>;
  mutable CRITICAL_SECTION lock_;
  // On the heap, so a process that ends can leave them there.
  std::unique_ptr<Slots> slots_ = std::make_unique<Slots>();
  int next_ = 0;
  bool abandoned_ = false;
};

// The process's cache.
ListingCache& TheListingCache();

}  // namespace qibor

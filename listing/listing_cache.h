#pragma once
// The last sixteen member lists, keyed by archive path, so a fetch that
// follows a listing finds its record without running the tool again. Lists
// are kept compact (sizes and names) and made into records on the way out.
#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "interface/records.h"
#include "interface/win_owners.h"
#include "listing/compact_list.h"

namespace qibor {

class ListingCache {
 public:
  static constexpr int kSlots = 16;
  // Lookup's answer when the path is not cached.
  static constexpr int kNotCached = -1;

  ListingCache();
  ListingCache(const ListingCache&) = delete;
  ListingCache& operator=(const ListingCache&) = delete;
  ~ListingCache();

  // Keeps a compact copy of the list, as the listing builder makes lists,
  // overwriting the oldest slot once all are used. False when memory ran
  // out; the cache is then as it was.
  bool Store(const std::wstring& archivePath, HLOCAL list);
  void Clear();
  // The process is ending: other threads may have died holding the heap's
  // lock, so the lists are left to the system instead of being freed.
  void Abandon() { abandoned_ = true; }
  // Newest first. With listOut: a copy of the whole list (0, or 4 when the
  // copy cannot be allocated). With a query: the record matching the query's
  // name (case-insensitive) or, for an empty name, its position, copied over
  // the query (0, or 2 when no record matches). kNotCached when the path has
  // no list here.
  int Lookup(const std::wstring& archivePath, HLOCAL* listOut, ArchiveEntryW* query);

 private:
  struct Slot {
    std::unique_ptr<CompactList> list;
    // A fixed buffer: nothing to free when the cache is left at process exit.
    wchar_t archivePath[MAX_PATH] = {};
  };
  CRITICAL_SECTION lock_;
  std::array<Slot, kSlots> slots_;
  // A list let go by Clear or an overwrite, kept for its storage: the next
  // Store writes into memory the process already has, not fresh pages.
  std::unique_ptr<CompactList> spare_;
  int next_ = 0;
  bool abandoned_ = false;
};

// Finds a record by name (case-insensitive), or by position when the
// query's name is empty.
const ArchiveEntryW* FindRecord(HLOCAL list, const ArchiveEntryW& query);

// The process's cache.
ListingCache& TheListingCache();

// Answers from the cache, or checks, probes and lists the archive, stores the
// new list and answers from it. Exactly one of listOut and query is given.
// The caller holds the request lock.
ResultCode LookupOrBuildListing(const std::wstring& archivePath, std::int64_t offset, HLOCAL* listOut,
                                ArchiveEntryW* query);

}  // namespace qibor

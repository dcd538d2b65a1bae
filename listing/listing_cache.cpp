#include "listing/listing_cache.h"

#include <cstring>

#include "listing/listing_builder.h"
#include "probe/probe.h"

namespace qibor {
namespace {

class CacheLockGuard {
 public:
  explicit CacheLockGuard(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
  CacheLockGuard(const CacheLockGuard&) = delete;
  CacheLockGuard& operator=(const CacheLockGuard&) = delete;
  ~CacheLockGuard() { LeaveCriticalSection(&lock_); }

 private:
  CRITICAL_SECTION& lock_;
};

bool SameText(const RecordChar* a, const RecordChar* b) { return lstrcmpiW(a, b) == 0; }

}  // namespace

ListingCache::ListingCache() { InitializeCriticalSection(&lock_); }

ListingCache::~ListingCache() {
  if (abandoned_) {
    for (Slot& slot : slots_) slot.list.release();
    return;
  }
  DeleteCriticalSection(&lock_);
}

void ListingCache::Store(const std::wstring& archivePath, UniqueLocal list) {
  CacheLockGuard guard(lock_);
  Slot& slot = slots_[static_cast<std::size_t>(next_)];
  slot.list = std::move(list);
  // Paths that do not fit a slot are refused before a list is built.
  lstrcpynW(slot.archivePath, archivePath.c_str(), MAX_PATH);
  next_ = (next_ + 1) % kSlots;
}

void ListingCache::Clear() {
  CacheLockGuard guard(lock_);
  for (Slot& slot : slots_) slot.list.reset();
  next_ = 0;
}

int ListingCache::Lookup(const std::wstring& archivePath, HLOCAL* listOut, ArchiveEntryW* query) {
  CacheLockGuard guard(lock_);
  int index = next_;
  for (int examined = 0; examined < kSlots; ++examined) {
    index = (index + kSlots - 1) % kSlots;
    const Slot& slot = slots_[static_cast<std::size_t>(index)];
    if (!slot.list) return kNotCached;
    if (lstrcmpiW(slot.archivePath, archivePath.c_str()) != 0) continue;
    if (listOut != nullptr) return CopyList(slot.list.get(), listOut);
    const ArchiveEntryW* found = FindRecord(slot.list.get(), *query);
    if (found == nullptr) return UnknownFormat;
    std::memcpy(query, found, sizeof(ArchiveEntryW));
    return Success;
  }
  return kNotCached;
}

ResultCode CopyList(HLOCAL list, HLOCAL* listOut) {
  const SIZE_T size = LocalSize(list);
  HLOCAL copy = LocalAlloc(LMEM_FIXED, size);
  if (copy == nullptr) return OutOfMemory;
  std::memcpy(copy, list, size);
  *listOut = copy;
  return Success;
}

const ArchiveEntryW* FindRecord(HLOCAL list, const ArchiveEntryW& query) {
  const auto* record = static_cast<const ArchiveEntryW*>(list);
  const std::size_t capacity = LocalSize(list) / sizeof(ArchiveEntryW);
  const bool byName = query.name[0] != 0;
  for (std::size_t i = 0; i < capacity && !IsTerminator(record[i]); ++i) {
    if (byName ? SameText(record[i].name, query.name) : record[i].position == query.position) return &record[i];
  }
  return nullptr;
}

namespace {
// Made at the module's static initialisation, before any export can run.
ListingCache g_listingCache;
}  // namespace

ListingCache& TheListingCache() { return g_listingCache; }

ResultCode LookupOrBuildListing(const std::wstring& archivePath, std::int64_t offset, HLOCAL* listOut,
                                ArchiveEntryW* query) {
  ListingCache& cache = TheListingCache();
  const int cached = cache.Lookup(archivePath, listOut, query);
  if (cached != ListingCache::kNotCached) return static_cast<ResultCode>(cached);
  // A slot holds a path of at most 259 units; a longer one is refused, not cut.
  if (archivePath.empty() || archivePath.size() >= MAX_PATH) return ReadError;

  unsigned char header[8] = {};
  {
    UniqueHandle archive(CreateFileW(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
    if (!archive.valid()) return ReadError;
    LARGE_INTEGER target{};
    target.QuadPart = offset;
    LARGE_INTEGER reached{};
    if (!SetFilePointerEx(archive.get(), target, &reached, FILE_BEGIN) || reached.QuadPart != offset) return ReadError;
    DWORD read = 0;
    if (!ReadFile(archive.get(), header, sizeof(header), &read, nullptr)) return ReadError;
    if (read < sizeof(header)) return UnknownFormat;
  }
  if (!ProbeArchive(archivePath, header)) return UnknownFormat;

  HLOCAL built = nullptr;
  const ResultCode result = BuildListing(archivePath, &built);
  if (result != Success) return result;
  UniqueLocal list(built);

  // Answer from the new list, then hand it to the cache.
  ResultCode answer = Success;
  if (listOut != nullptr) {
    answer = CopyList(list.get(), listOut);
  } else {
    const ArchiveEntryW* found = FindRecord(list.get(), *query);
    if (found == nullptr) {
      answer = NotImplemented;
    } else {
      std::memcpy(query, found, sizeof(ArchiveEntryW));
    }
  }
  cache.Store(archivePath, std::move(list));
  return answer;
}

}  // namespace qibor

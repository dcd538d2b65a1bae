#include "listing/listing_cache.h"

#include <cstring>
#include <new>
#include <optional>

#include "listing/listing_builder.h"
#include "listing/work_folder.h"
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

// A whole list made anew from its compact form, for the host: 0, or 4.
ResultCode ExpandList(const CompactList& list, HLOCAL* listOut) {
  const std::size_t count = list.members.size();
  UniqueLocal block(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, (count + 1) * sizeof(ArchiveEntryW)));
  if (!block) return OutOfMemory;
  auto* records = block.as<ArchiveEntryW>();
  for (std::size_t i = 0; i < count; ++i) ExpandRecord(list, i, records[i]);
  *listOut = block.release();
  return Success;
}

// The position of the record a query asks for, if the list has it.
std::optional<std::size_t> FindPosition(const CompactList& list, const ArchiveEntryW& query) {
  const std::size_t count = list.members.size();
  if (query.name[0] == 0) {
    if (query.position < count) return static_cast<std::size_t>(query.position);
    return std::nullopt;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (SameText(CompactName(list, i), query.name)) return i;
  }
  return std::nullopt;
}

}  // namespace

ListingCache::ListingCache() { InitializeCriticalSection(&lock_); }

ListingCache::~ListingCache() {
  if (abandoned_) {
    for (Slot& slot : slots_) static_cast<void>(slot.list.release());
    static_cast<void>(spare_.release());
    return;
  }
  DeleteCriticalSection(&lock_);
}

bool ListingCache::Store(const std::wstring& archivePath, HLOCAL list) {
  // The copy is made outside the lock, so a failed one changes nothing.
  std::unique_ptr<CompactList> compact;
  {
    CacheLockGuard guard(lock_);
    compact = std::move(spare_);
  }
  try {
    if (!compact) compact = std::make_unique<CompactList>();
    CompactListInto(static_cast<const ArchiveEntryW*>(list), LocalSize(list) / sizeof(ArchiveEntryW), *compact);
  } catch (const std::bad_alloc&) {
    return false;
  }
  CacheLockGuard guard(lock_);
  Slot& slot = slots_[static_cast<std::size_t>(next_)];
  if (slot.list && !spare_) spare_ = std::move(slot.list);
  slot.list = std::move(compact);
  // Paths that do not fit a slot are refused before a list is built.
  lstrcpynW(slot.archivePath, archivePath.c_str(), MAX_PATH);
  next_ = (next_ + 1) % kSlots;
  return true;
}

void ListingCache::Clear() {
  CacheLockGuard guard(lock_);
  for (Slot& slot : slots_) {
    if (slot.list && !spare_) {
      spare_ = std::move(slot.list);
    } else {
      slot.list.reset();
    }
  }
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
    if (listOut != nullptr) return ExpandList(*slot.list, listOut);
    const std::optional<std::size_t> found = FindPosition(*slot.list, *query);
    if (!found) return UnknownFormat;
    ExpandRecord(*slot.list, *found, *query);
    return Success;
  }
  return kNotCached;
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
  // Without a request folder nothing can be run or read.
  if (CurrentRequestFolder().empty()) return ReadError;

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

  // The cache keeps a compact copy; a list asked for is the new one itself.
  cache.Store(archivePath, list.get());
  if (listOut != nullptr) {
    *listOut = list.release();
    return Success;
  }
  const ArchiveEntryW* found = FindRecord(list.get(), *query);
  if (found == nullptr) return NotImplemented;
  std::memcpy(query, found, sizeof(ArchiveEntryW));
  return Success;
}

}  // namespace qibor

#include "listing/listing_cache.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "interface/record_text.h"


namespace qibor {
namespace {

bool SameText(const RecordChar* a, const RecordChar* b) { return lstrcmpiW(a, b) == 0; }

// A whole list made anew from its compact form, for the host: 0, or 4.
ResultCode ExpandList(const CompactList& list, HLOCAL* listOut) {
  const std::size_t count = list.members.size();
  UniqueLocal block(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, (count + 1) * sizeof(ArchiveEntryW)));
  if (!block) return OutOfMemory;
  ExpandRecordsIntoZeroed(list, 0, count, block.as<ArchiveEntryW>());
  *listOut = block.release();
  return Success;
}

// Which of `count` members a query's text names: pathOf(i) and nameOf(i)
// give member i's zero-terminated path and name.
template <typename PathOf, typename NameOf>
std::optional<std::size_t> FindByText(std::size_t count, const MemberQuery& query, PathOf&& pathOf, NameOf&& nameOf) {
  std::wstring wanted(query.text);
  std::replace(wanted.begin(), wanted.end(), L'/', L'\\');
  std::wstring full;
  for (std::size_t i = 0; i < count; ++i) {
    full.assign(pathOf(i));
    full.append(nameOf(i));
    if (SameText(full.c_str(), wanted.c_str())) return i;
  }
  if (!query.nameAlone) return std::nullopt;
  // As hosts that know only names have always asked: the first of that name.
  const std::wstring name(query.text);
  for (std::size_t i = 0; i < count; ++i) {
    if (SameText(nameOf(i), name.c_str())) return i;
  }
  return std::nullopt;
}

// The position of the record a query asks for, if the list has it.
std::optional<std::size_t> FindPosition(const CompactList& list, const MemberQuery& query) {
  const std::size_t count = list.members.size();
  if (query.text.empty()) {
    if (query.position < count) return static_cast<std::size_t>(query.position);
    return std::nullopt;
  }
  return FindByText(
      count, query, [&](std::size_t i) { return CompactPath(list, i); }, [&](std::size_t i) { return CompactName(list, i); });
}

// The record's name as a query's text, held while the record is overwritten.
struct OwnedQuery {
  std::wstring text;
  MemberQuery query;
  explicit OwnedQuery(const ArchiveEntryW& record)
      : text(record.name, RecordTextLength(record.name)), query{text, record.position, true} {}
};

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

bool ListingCache::Store(const std::wstring& archivePath, HLOCAL list, ToolPaths toolPaths) {
  // The copy is made outside the lock, so a failed one changes nothing.
  std::unique_ptr<CompactList> compact = TakeSpare();
  try {
    if (!compact) compact = std::make_unique<CompactList>();
    CompactListInto(static_cast<const ArchiveEntryW*>(list), LocalSize(list) / sizeof(ArchiveEntryW), *compact);
    compact->toolPaths = std::move(toolPaths);
  } catch (const std::bad_alloc&) {
    return false;
  }
  Store(archivePath, std::move(compact));
  return true;
}

void ListingCache::Store(const std::wstring& archivePath, std::unique_ptr<CompactList> list) {
  if (!list) return;
  const auto guard = EnterSection(lock_);
  Slot& slot = slots_[static_cast<std::size_t>(next_)];
  if (slot.list && !spare_) spare_ = std::move(slot.list);
  slot.list = std::move(list);
  // Paths that do not fit a slot are refused before a list is built.
  lstrcpynW(slot.archivePath, archivePath.c_str(), MAX_PATH);
  next_ = (next_ + 1) % kSlots;
}

std::unique_ptr<CompactList> ListingCache::TakeSpare() {
  std::unique_ptr<CompactList> spare;
  {
    const auto guard = EnterSection(lock_);
    spare = std::move(spare_);
  }
  if (spare) ClearCompactList(*spare);
  return spare;
}

void ListingCache::Clear() {
  const auto guard = EnterSection(lock_);
  for (Slot& slot : slots_) {
    if (slot.list && !spare_) {
      spare_ = std::move(slot.list);
    } else {
      slot.list.reset();
    }
  }
  next_ = 0;
}

int ListingCache::Lookup(const std::wstring& archivePath, HLOCAL* listOut, ArchiveEntryW* query,
                         std::string* memberPathOut) {
  if (listOut == nullptr) {
    const OwnedQuery owned(*query);
    return Lookup(archivePath, owned.query, *query, memberPathOut);
  }
  const auto guard = EnterSection(lock_);
  const Slot* slot = NewestSlotFor(archivePath);
  return slot == nullptr ? kNotCached : ExpandList(*slot->list, listOut);
}

const ListingCache::Slot* ListingCache::NewestSlotFor(const std::wstring& archivePath) const {
  int index = next_;
  for (int examined = 0; examined < kSlots; ++examined) {
    index = (index + kSlots - 1) % kSlots;
    const Slot& slot = slots_[static_cast<std::size_t>(index)];
    if (!slot.list) return nullptr;
    if (lstrcmpiW(slot.archivePath, archivePath.c_str()) == 0) return &slot;
  }
  return nullptr;
}

int ListingCache::Lookup(const std::wstring& archivePath, const MemberQuery& query, ArchiveEntryW& recordOut,
                         std::string* memberPathOut, FetchFacts* factsOut) {
  const auto guard = EnterSection(lock_);
  const Slot* slot = NewestSlotFor(archivePath);
  if (slot == nullptr) return kNotCached;
  const std::optional<std::size_t> found = FindPosition(*slot->list, query);
  if (!found) return UnknownFormat;
  if (memberPathOut != nullptr) *memberPathOut = ToolPathOf(slot->list->toolPaths, *found);
  if (factsOut != nullptr) *factsOut = FetchFactsOf(slot->list->toolPaths, *found);
  ExpandRecord(*slot->list, *found, recordOut);
  return Success;
}

MemberQuery QueryOf(const ArchiveEntryW& record) {
  return {std::wstring_view(record.name, RecordTextLength(record.name)), record.position, true};
}

const ArchiveEntryW* FindRecord(HLOCAL list, const MemberQuery& query) {
  const auto* record = static_cast<const ArchiveEntryW*>(list);
  const std::size_t capacity = LocalSize(list) / sizeof(ArchiveEntryW);
  std::size_t count = 0;
  while (count < capacity && !IsTerminator(record[count])) ++count;
  if (query.text.empty()) {
    for (std::size_t i = 0; i < count; ++i) {
      if (record[i].position == query.position) return &record[i];
    }
    return nullptr;
  }
  // The builder terminates every field; a host's scribbled copy is not searched here.
  const std::optional<std::size_t> found = FindByText(
      count, query, [&](std::size_t i) { return record[i].path; }, [&](std::size_t i) { return record[i].name; });
  return found ? &record[*found] : nullptr;
}

namespace {
// Made at the module's static initialisation, before any export can run.
ListingCache g_listingCache;
}  // namespace

ListingCache& TheListingCache() { return g_listingCache; }

FetchFacts FetchFactsOf(const ToolPaths& paths, std::size_t member) {
  FetchFacts facts;
  facts.origin = paths.origin;
  facts.soleMatch = member < paths.soleMatch.size() && paths.soleMatch[member];
  return facts;
}

}  // namespace qibor

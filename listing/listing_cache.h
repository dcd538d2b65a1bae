#pragma once
// The last sixteen member lists, keyed by archive path, so a fetch that
// follows a listing finds its record without running the tool again. Lists
// are kept compact (sizes, names, folders, and the paths as the tool printed
// them) and made into records on the way out.
#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "interface/records.h"
#include "floor/unique_any.h"
#include "listing/compact_list.h"

namespace qibor {

// A member as a caller asks for it. A text is matched with each member's
// path + name ("/" in the text counts as "\", letter case ignored) and, when
// no member has that path + name and `nameAlone` is set, with the first
// member's name alone. An empty text asks for `position`.
struct MemberQuery {
  std::wstring_view text;
  std::uint64_t position = 0;
  bool nameAlone = true;
};

// What a fetch may trust of a cached record: where its list came from, and
// whether the tool's first match for the member's own name is the member.
struct FetchFacts {
  ListOrigin origin;
  bool soleMatch = false;
};

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
  // with the members' paths as the tool printed them (empty when not
  // given), overwriting the oldest slot once all are used. False when memory
  // ran out; the cache is then as it was.
  bool Store(const std::wstring& archivePath, HLOCAL list, ToolPaths toolPaths = {});
  // Keeps a list already in its compact form, as the listing builder makes
  // it; a null list is not kept.
  void Store(const std::wstring& archivePath, std::unique_ptr<CompactList> list);
  // Storage of a list let go, emptied, for the next list to be made in;
  // null when there is none.
  std::unique_ptr<CompactList> TakeSpare();
  void Clear();
  // The process is ending: other threads may have died holding the heap's
  // lock, so the lists are left to the system instead of being freed.
  void Abandon() { abandoned_ = true; }
  // Newest first. With listOut: a copy of the whole list (0, or 4 when the
  // copy cannot be allocated). With a query record: the record its name
  // asks for (as MemberQuery's text) or, for an empty name, its position,
  // copied over the query (0, or 2 when no record matches). memberPathOut,
  // when given, gets the found member's path in the archive exactly as the
  // tool printed it (empty when the list was stored without paths).
  // kNotCached when the path has no list here.
  int Lookup(const std::wstring& archivePath, HLOCAL* listOut, ArchiveEntryW* query,
             std::string* memberPathOut = nullptr);
  // The same for a query given as text; factsOut, when given, gets what a
  // fetch of the record may trust.
  int Lookup(const std::wstring& archivePath, const MemberQuery& query, ArchiveEntryW& recordOut,
             std::string* memberPathOut = nullptr, FetchFacts* factsOut = nullptr);

 private:
  struct Slot {
    std::unique_ptr<CompactList> list;
    // A fixed buffer: nothing to free when the cache is left at process exit.
    wchar_t archivePath[MAX_PATH] = {};
  };
  // The newest slot holding the path's list; the caller holds lock_.
  const Slot* NewestSlotFor(const std::wstring& archivePath) const;

  CRITICAL_SECTION lock_;
  std::array<Slot, kSlots> slots_;
  // A list let go by Clear or an overwrite, kept for its storage: the next
  // Store writes into memory the process already has, not fresh pages.
  std::unique_ptr<CompactList> spare_;
  int next_ = 0;
  bool abandoned_ = false;
};

// The query a record stands for: its name as the text, and its position.
MemberQuery QueryOf(const ArchiveEntryW& record);

// In a list: the record a query asks for, or null.
const ArchiveEntryW* FindRecord(HLOCAL list, const MemberQuery& query);

// The process's cache.
ListingCache& TheListingCache();

// What a fetch of kept member `member` may trust of a list with these paths.
FetchFacts FetchFactsOf(const ToolPaths& paths, std::size_t member);

}  // namespace qibor

#include "requests/fetch_member.h"

#include <memory>
#include <optional>

#include "extract/extract_member.h"
#include "extract/member_output.h"
#include "extract/read_ahead.h"
#include "floor/files.h"
#include "listing/listing.h"
#include "listing/listing_cache.h"
#include "listing/member_size.h"
#include "requests/request.h"

namespace qibor {
namespace {

// Where the host wants the member: in memory, or as a new file in a folder.
struct Destination {
  bool toMemory = true;
  const std::wstring& folder;
};

ResultCode OpenOutput(const Destination& destination, const ArchiveEntryW& record, MemberOutput& output) {
  if (output.block || output.file) return Success;
  return destination.toMemory ? OpenBlockOutput(record.size, output)
                              : OpenFileOutput(destination.folder, record, output);
}

// From the pass over a solid archive: a member read ahead goes to the host
// as it is; else the pass goes on to it. ReadError when the pass cannot
// give it: it then comes alone.
ResultCode FromReadAhead(const Request& request, const std::wstring& archivePath,
                         const std::shared_ptr<const ArchiveList>& list, std::size_t member,
                         const Destination& destination, MemberOutput& output) {
  ArchiveEntryW record{};
  MakeRecord(*list, member, record);
  if (UniqueLocal kept = TheReadAhead().Take(archivePath, *list, member)) {
    if (destination.toMemory) {
      output.block = std::move(kept);
      return Success;
    }
    const ResultCode opened = OpenOutput(destination, record, output);
    if (opened != Success) return opened;
    return WriteWhole(output.file.get(), kept.get(), LocalSize(kept.get())) ? Success : WriteError;
  }
  const ResultCode opened = OpenOutput(destination, record, output);
  if (opened != Success) return opened;
  return TheReadAhead().Reach(request.settings, archivePath, list, member, SinkOf(output));
}

bool ReadsAhead(const Request& request, const ArchiveList& list) { return list.solid && request.settings.cacheMB > 0; }

// One run, when the cached list can be trusted: the archive is the very
// file that was listed, with the same settings, and the member's own name
// selects it alone. The run reads a handle that keeps writers out; its
// identity is read while the run goes, and the run counts only if it
// matches. ReadError when the list cannot be trusted or the run did not
// give the member.
ResultCode FromCachedList(const Request& request, const std::wstring& archivePath,
                          const std::shared_ptr<const ArchiveList>& list, std::size_t member,
                          const Destination& destination, MemberOutput& output) {
  if (ReadsAhead(request, *list)) {
    const UniqueHandle archive = OpenArchive(archivePath);
    if (archive.valid() && OriginOf(archive.get(), request.settings) == list->origin) {
      const ResultCode result = FromReadAhead(request, archivePath, list, member, destination, output);
      if (result != ReadError) return result;
    }
  }
  ArchiveEntryW record{};
  MakeRecord(*list, member, record);
  const ResultCode opened = OpenOutput(destination, record, output);
  if (opened != Success) return opened;
  if (!list->soleMatch[member]) return ReadError;
  const UniqueHandle archive = OpenArchive(archivePath, Writers::KeptOut);
  if (!archive.valid()) return ReadError;
  return ExtractAlone(request.RunsOn(archive.get()), *list, member, SinkOf(output),
                      [&] { return OriginOf(archive.get(), request.settings) == list->origin; });
}

// Lists the archive afresh and has the tool write the member: the one at
// the host's position, or, when `cached` is the list the host has, the one
// its record names, wherever it now is. Positions are those of the host's
// list: a list made here is kept only when there was none.
ResultCode FromFreshList(const Request& request, const std::wstring& archivePath, std::uint64_t position,
                         const std::shared_ptr<const ArchiveList>& cached, const Destination& destination,
                         MemberOutput& output) {
  TheReadAhead().End();
  const UniqueHandle archive = OpenArchive(archivePath);
  if (!archive.valid()) return ReadError;
  Listing listing;
  const ResultCode listed =
      ListAfresh(request.scope.folder(), request.settings, archivePath, archive.get(), 0, listing);
  if (listed != Success) return listed;
  if (!cached) TheListingCache().Store(archivePath, listing.list);
  const ArchiveList& list = *listing.list;
  std::optional<std::size_t> member;
  if (!cached) {
    if (position >= list.members.size()) return NotImplemented;
    member = static_cast<std::size_t>(position);
  } else {
    const std::size_t entry = cached->members[static_cast<std::size_t>(position)];
    member = MemberNamed(list, position, PathOf(cached->entries, entry),
                         static_cast<std::uint64_t>(cached->entries.sizes[entry]));
    if (!member) return ReadError;
  }
  if (!cached && ReadsAhead(request, list)) {
    const ResultCode result = FromReadAhead(request, archivePath, listing.list, *member, destination, output);
    if (result != ReadError) return result;
  }
  const ResultCode opened = OpenOutput(destination, listing.records.as<ArchiveEntryW>()[*member], output);
  if (opened != Success) return opened;
  return ExtractMember(request.RunsOn(archive.get()), list, *member, SizeLimitFromMaxMB(request.settings.maxMB),
                       SinkOf(output));
}

}  // namespace

ResultCode FetchMember(const std::wstring& archivePath, std::uint64_t position, const std::wstring& destFolder,
                       HLOCAL* blockOut, std::uint32_t flag) {
  if (!IsFileInput(flag)) return NotImplemented;
  const Destination destination{IsOutputToMemory(flag), destFolder};
  // An empty folder would put the file in the host's current folder.
  if (!destination.toMemory && destFolder.empty()) return WriteError;

  Request request;
  if (!request.ready() || archivePath.empty()) return ReadError;
  MemberOutput output;
  ResultCode result = ReadError;
  const std::shared_ptr<const ArchiveList> cached = TheListingCache().Find(archivePath);
  if (cached) {
    if (position >= cached->members.size()) return UnknownFormat;
    result = FromCachedList(request, archivePath, cached, static_cast<std::size_t>(position), destination, output);
  }
  // Otherwise: list afresh, and find the member the host's list named.
  if (result == ReadError) result = FromFreshList(request, archivePath, position, cached, destination, output);
  if (result != Success) {
    Discard(output);
    return result;
  }
  if (!destination.toMemory) return FinishFileOutput(output);
  *blockOut = output.block.release();
  return Success;
}

}  // namespace qibor

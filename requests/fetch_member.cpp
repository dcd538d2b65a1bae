#include "requests/fetch_member.h"

#include <memory>
#include <optional>

#include "extract/extract_member.h"
#include "extract/member_output.h"
#include "listing/listing.h"
#include "listing/listing_cache.h"
#include "listing/member_size.h"
#include "requests/request.h"

namespace qibor {
namespace {

// The member a fetch is for: its list (cached, or made by this request)
// and its place there.
struct ListedMember {
  std::shared_ptr<const ArchiveList> list;
  std::size_t member = 0;
  ArchiveEntryW record{};
};

// One run, when the cached list can be trusted: the archive is the very
// file that was listed, with the same settings, and the member's own name
// selects it alone. The run reads a handle that keeps writers out; its
// identity is read while the run goes, and the run counts only if it
// matches. ReadError when the list cannot be trusted or the run did not
// give the member.
ResultCode ExtractFromCachedList(const Request& request, const std::wstring& archivePath,
                                 const ListedMember& listed, const EntrySink& sink) {
  const ArchiveList& list = *listed.list;
  if (!list.soleMatch[listed.member]) return ReadError;
  const UniqueHandle archive = OpenArchive(archivePath, Writers::KeptOut);
  if (!archive.valid()) return ReadError;
  return ExtractAlone(request.RunsOn(archive.get()), list, listed.member, sink,
                      [&] { return OriginOf(archive.get(), request.settings) == list.origin; });
}

// Where the host wants the member: in memory, or as a new file in a folder.
struct Destination {
  bool toMemory = true;
  const std::wstring& folder;
};

ResultCode OpenOutput(const Destination& destination, const ArchiveEntryW& record, MemberOutput& output) {
  return destination.toMemory ? OpenBlockOutput(record.size, output)
                              : OpenFileOutput(destination.folder, record, output);
}

// Lists the archive afresh and has the tool write the member: the one at
// the host's position, or, when `named` comes from the cached list, the one
// its record names, wherever it now is. Positions are those of the host's
// list: a list made here is kept only when there was none.
// The output is opened here when it is not yet.
ResultCode FetchFromFreshList(const Request& request, const std::wstring& archivePath, std::uint64_t position,
                              const ListedMember* named, const Destination& destination, MemberOutput& output) {
  const UniqueHandle archive = OpenArchive(archivePath);
  if (!archive.valid()) return ReadError;
  Listing listing;
  const ResultCode listed =
      ListAfresh(request.scope.folder(), request.settings, archivePath, archive.get(), 0, listing);
  if (listed != Success) return listed;
  if (named == nullptr) TheListingCache().Store(archivePath, listing.list);
  const ArchiveList& list = *listing.list;
  std::size_t member = 0;
  if (named == nullptr) {
    if (position >= list.members.size()) return NotImplemented;
    member = static_cast<std::size_t>(position);
  } else {
    const ArchiveList& old = *named->list;
    const std::optional<std::size_t> found =
        MemberNamed(list, position, PathOf(old.entries, old.members[named->member]), named->record.size);
    if (!found) return ReadError;
    member = *found;
  }
  if (!output.block && !output.file) {
    const ResultCode opened = OpenOutput(destination, listing.records.as<ArchiveEntryW>()[member], output);
    if (opened != Success) return opened;
  }
  return ExtractMember(request.RunsOn(archive.get()), list, member, SizeLimitFromMaxMB(request.settings.maxMB),
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
  ListedMember cached;
  cached.list = TheListingCache().Find(archivePath);
  if (cached.list) {
    if (position >= cached.list->members.size()) return UnknownFormat;
    cached.member = static_cast<std::size_t>(position);
    MakeRecord(*cached.list, cached.member, cached.record);
    const ResultCode opened = OpenOutput(destination, cached.record, output);
    if (opened != Success) return opened;
    result = ExtractFromCachedList(request, archivePath, cached, SinkOf(output));
    // Otherwise: list afresh and find the member the host's list named.
    if (result == ReadError) result = FetchFromFreshList(request, archivePath, position, &cached, destination, output);
  } else {
    result = FetchFromFreshList(request, archivePath, position, nullptr, destination, output);
  }
  if (result != Success) {
    Discard(output);
    return result;
  }
  if (!destination.toMemory) return FinishFileOutput(output);
  *blockOut = output.block.release();
  return Success;
}

}  // namespace qibor

#include "requests/fetch_member.h"

#include "extract/extract_member.h"
#include "extract/member_output.h"
#include "listing/listing_cache.h"
#include "requests/archive_list.h"
#include "tool/run_tool.h"

namespace qibor {
namespace {

// What the fetch knows of the member from its list.
struct ListedMember {
  ArchiveEntryW record{};
  std::string toolPath;  // its path as the tool printed it
  FetchFacts facts;
};

// The member from the cached list, or from a list read afresh (kept for the
// fetches that follow).
ResultCode FindListed(const Request& request, const std::wstring& archivePath, std::uint64_t position,
                      ListedMember& member) {
  member.record.position = position;
  const MemberQuery byPosition{{}, position, true};
  const int cached =
      TheListingCache().Lookup(archivePath, byPosition, member.record, &member.toolPath, &member.facts);
  if (cached != ListingCache::kNotCached) return static_cast<ResultCode>(cached);

  FreshList list;
  const ResultCode listed = ListAfresh(request, archivePath, 0, list);
  if (listed != Success) return listed;
  const ArchiveEntryW* found = FindRecord(list.records.get(), byPosition);
  if (found != nullptr) {
    const auto index = static_cast<std::size_t>(found - list.records.as<ArchiveEntryW>());
    member.record = *found;
    member.toolPath = ToolPathOf(list.compact->toolPaths, index);
    member.facts = FetchFactsOf(list.compact->toolPaths, index);
  }
  KeepInCache(archivePath, list);
  return found != nullptr ? Success : NotImplemented;
}

// One run, when the list can be trusted: the archive is the very file that
// was listed, with the same settings, and the tool's first match for the
// member's name is the member. The run reads the handle whose identity was
// checked, which no one may write while it runs. ReadError when the list
// cannot be trusted or the run did not give the member.
ResultCode ExtractFromTrustedList(const Request& request, const std::wstring& archivePath,
                                  const ListedMember& member, const EntrySink& sink) {
  const ListOrigin& listed = member.facts.origin;
  if (!member.facts.soleMatch || member.toolPath.empty() || !listed.known) return ReadError;
  const UniqueHandle input = OpenArchiveInput(archivePath, Writers::KeptOut);
  if (!input.valid()) return ReadError;
  // A changed size, time or setting is seen before any run; the file's
  // identity is read while the run goes, and the run counts only if it matches.
  ListOrigin now = QuickOriginOf(input.get(), request.settings);
  if (now.size != listed.size || now.lastWrite != listed.lastWrite || now.toolDir != listed.toolDir ||
      now.maxMB != listed.maxMB) {
    return ReadError;
  }
  return ExtractAlone(input.get(), ToolExePath(request.settings), member.toolPath, member.record.size, sink,
                      [&] { return AddFileIdentity(input.get(), now) && now == listed; });
}

}  // namespace

ResultCode FetchMember(const std::wstring& archivePath, std::uint64_t position, const std::wstring& destFolder,
                       HLOCAL* blockOut, std::uint32_t flag) {
  if (!IsFileInput(flag)) return NotImplemented;
  const bool toMemory = IsOutputToMemory(flag);
  // An empty folder would put the file in the host's current folder.
  if (!toMemory && destFolder.empty()) return WriteError;

  Request request;
  if (!request.ready()) return ReadError;
  ListedMember member;
  const ResultCode found = FindListed(request, archivePath, position, member);
  if (found != Success) return found;

  MemberOutput output;
  const ResultCode opened = toMemory ? OpenBlockOutput(member.record.size, output)
                                     : OpenFileOutput(destFolder, member.record, output);
  if (opened != Success) return opened;
  ResultCode result = ExtractFromTrustedList(request, archivePath, member, SinkOf(output));
  // Otherwise: list afresh and find the member the host's list named.
  if (result == ReadError) {
    result = ExtractMember(archivePath, member.record, member.toolPath, request.settings, SinkOf(output));
  }
  if (result != Success) {
    Discard(output);
    return result;
  }
  if (!toMemory) return FinishFileOutput(output);
  *blockOut = output.block.release();
  return Success;
}

}  // namespace qibor

#include "extract/extract_member.h"

#include <optional>

#include "extract/member_selection.h"

namespace qibor {

ResultCode ExtractAlone(const ArchiveRuns& runs, const ArchiveList& list, std::size_t member, const EntrySink& sink,
                        const std::function<bool()>& whileRunning) {
  if (member >= list.members.size() || !list.soleMatch[member]) return ReadError;
  return TakeEntry(runs, AloneRun(runs.tool, list, member), sink, whileRunning);
}

ResultCode ExtractMember(const ArchiveRuns& runs, const ArchiveList& list, std::size_t member,
                         std::int64_t sizeLimit, const EntrySink& sink) {
  if (member >= list.members.size()) return ReadError;
  ResultCode result = ReadError;
  if (list.soleMatch[member]) {
    result = ExtractAlone(runs, list, member, sink);
  } else if (const std::optional<EntryRun> selecting = RunSelecting(runs, list, member, sizeLimit)) {
    result = TakeEntry(runs, *selecting, sink);
  }
  if (result != ReadError) return result;
  // No run writes it alone, or the one that should have did not (the tool
  // cuts a 7z member short when it skips to it past one of a multiple of
  // 64 KiB): a pass that reads everything before it gives it by its place.
  const std::optional<EntryRun> pass = PassTo(runs.tool, list, member);
  return pass ? TakeEntry(runs, *pass, sink) : ReadError;
}

}  // namespace qibor

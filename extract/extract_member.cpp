#include "extract/extract_member.h"

#include <optional>

#include "extract/member_path.h"
#include "extract/member_selection.h"
#include "extract/written_entries.h"
#include "floor/code_page_text.h"
#include "interface/settings.h"
#include "listing/listing_builder.h"
#include "listing/member_size.h"
#include "tool/captures.h"
#include "tool/commands.h"
#include "tool/run_tool.h"

namespace qibor {

EntryRun AloneRun(const std::wstring& toolPath, const std::string& listedPath, std::uint64_t size) {
  ExtractionArguments arguments;
  arguments.pattern = EscapeMemberPattern(DecodeText(listedPath, ToolOutputCodePage()));
  EntryRun run;
  run.commandLine = ExtractionCommand(toolPath, arguments);
  run.names.push_back(ExtractedEntryName(listedPath));
  run.sizes.push_back(size);
  return run;
}

ResultCode ExtractAlone(HANDLE archive, const std::wstring& toolPath, const std::string& listedPath,
                        std::uint64_t size, const EntrySink& sink, const std::function<bool()>& trustWhileRunning) {
  if (toolPath.empty() || listedPath.empty()) return ReadError;
  return TakeEntry(AloneRun(toolPath, listedPath, size), archive, sink, trustWhileRunning);
}

ResultCode ExtractMember(const std::wstring& archivePath, const ArchiveEntryW& record,
                         const std::string& listedPath, const Settings& settings, const EntrySink& sink) {
  const std::wstring toolPath = ToolExePath(settings);
  if (toolPath.empty()) return ReadError;
  const std::int64_t sizeLimit = SizeLimitFromMaxMB(settings.maxMB);
  ListingCaptures captures;
  if (!RunListings(toolPath, archivePath, captures)) return ReadError;
  const std::optional<NamedMember> member = FindNamedMember(captures, record, listedPath, sizeLimit);
  if (!member) return ReadError;
  if (const std::optional<EntryRun> alone = RunSelecting(toolPath, archivePath, captures, *member, sizeLimit)) {
    const UniqueHandle input = OpenArchiveInput(archivePath);
    const ResultCode result = TakeEntry(*alone, input.get(), sink);
    if (result != ReadError) return result;
  }
  // No run writes it alone, or the one that should have did not (the tool
  // cuts a 7z member short when it skips to it past one of a multiple of
  // 64 KiB): a pass that reads everything before it gives it by its place.
  const std::optional<EntryRun> pass = PassTo(toolPath, captures, *member);
  if (!pass) return ReadError;
  const UniqueHandle input = OpenArchiveInput(archivePath);
  return TakeEntry(*pass, input.get(), sink);
}

}  // namespace qibor

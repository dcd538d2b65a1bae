#pragma once
// Getting one member's bytes through the tool: the run that writes it alone
// into the request's folder, the checks of what it wrote, and the copy of
// it the host receives. The caller holds a RequestScope.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "floor/unique_any.h"
#include "interface/records.h"
#include "interface/settings_text.h"
#include "tool/commands.h"

namespace qibor {

// What a fetch reads out of the request folder: the member's bytes, and the
// path the tool wrote it under, relative to the folder ("\" between levels,
// its real name).
struct ExtractedMember {
  UniqueLocal block;
  std::wstring writtenPath;
};

// The run that writes a member alone, made from its path in the tool's bytes.
struct AloneRun {
  ExtractionArguments arguments;
  std::wstring written;      // where it writes the member, relative to its folder
  std::wstring printedName;  // how its messages name the member
};
std::optional<AloneRun> PlanAloneRun(const std::string& listedPath);

// The one run of a fetch whose list is trusted (the archive is unchanged
// since it was listed, and the tool's first match for the member's own name
// is the member): reads the open archive `archive`, stopping once the member
// is out. `listedPath` is the member's path in the tool's bytes.
// `trustWhileRunning`, when given, runs while the tool does (the slow part of
// checking that the archive is the one listed); its false stops the run and
// nothing is delivered. 0 on delivery; otherwise 6 (4 when memory ran out).
ResultCode ExtractAlone(HANDLE archive, const std::wstring& toolPath, const std::string& listedPath,
                        std::int64_t size, ExtractedMember& out,
                        const std::function<bool()>& trustWhileRunning = {});

// Lists the archive afresh, finds the member the host's record names (the
// kept member at its position with the record's size and the path its list
// was made with; else the only other one with them: an archive changed
// since its list was made may hold another member there), and has the tool
// write it alone. 0 on delivery; otherwise 6 (4 when memory ran out).
ResultCode ExtractMember(const std::wstring& archivePath, const ArchiveEntryW& record,
                         const std::string& listedPath, const Settings& settings, ExtractedMember& out);

// Saves the member as a new file in the host's folder, under the name the
// tool itself wrote (each character Windows forbids in names is "_", and a
// name the code page cannot show has its real characters); never
// overwrites. 0, or 9 with no file left behind by this call.
ResultCode SaveIntoFolder(const std::wstring& destFolder, const ExtractedMember& member);

// Writes the whole block as a new file; never overwrites. 0, or 9 with no
// file left behind by this call.
ResultCode WriteNewFile(const std::wstring& outputPath, const void* bytes, std::uint64_t size);

}  // namespace qibor

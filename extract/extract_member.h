#pragma once
// Getting one member's bytes through the tool's standard output, into the
// host's block or the host's new file. The tool never writes a file named by
// the archive. The caller holds a RequestScope.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "extract/entry_stream.h"
#include "interface/records.h"
#include "interface/settings_text.h"

namespace qibor {

// The run that writes a member alone, from its path in the tool's bytes,
// when the tool's first match for its own name is the member.
EntryRun AloneRun(const std::wstring& toolPath, const std::string& listedPath, std::uint64_t size);

// The one run of a fetch whose list is trusted (the archive is unchanged
// since it was listed, and the tool's first match for the member's own name
// is the member): reads the open archive `archive`, stopping once the member
// is out. `listedPath` is the member's path in the tool's bytes.
// `trustWhileRunning`, when given, runs while the tool does (the slow part of
// checking that the archive is the one listed); its false stops the run and
// nothing is delivered. 0 on delivery; otherwise 6 (9 when the file could
// not be written).
ResultCode ExtractAlone(HANDLE archive, const std::wstring& toolPath, const std::string& listedPath,
                        std::uint64_t size, const EntrySink& sink, const std::function<bool()>& trustWhileRunning = {});

// Lists the archive afresh, finds the member the host's record names (the
// kept member at its position with the record's size and the path its list
// was made with; else the only other one with them: an archive changed
// since its list was made may hold another member there), and has the tool
// write it: alone where one run can, else in a pass over every entry. 0 on
// delivery; otherwise 6 (9 when the file could not be written).
ResultCode ExtractMember(const std::wstring& archivePath, const ArchiveEntryW& record,
                         const std::string& listedPath, const Settings& settings, const EntrySink& sink);

}  // namespace qibor

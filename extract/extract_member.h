#pragma once
// Getting one member's bytes through the tool: into a block for the host, or
// into a new file in the host's folder.
#include <windows.h>

#include <cstdint>
#include <string>

#include "interface/records.h"
#include "interface/settings_text.h"
#include "interface/win_owners.h"

namespace qibor {

// Lists the archive afresh, finds the member the host's record names (the
// kept member at its position with the record's size and the path the list
// was made with, `listedPath` in the tool's bytes; else the only other one
// with them: an archive changed since its list was made may hold another
// member there), has the tool
// write it alone into the request's folder, and reads it into a new
// LocalAlloc block; the path it was written under, relative to the request
// folder ("\\" between levels, its real name), goes to writtenPathOut. 0 on
// delivery; otherwise 6 (4 when memory ran out) with nothing delivered. The
// caller holds a RequestScope.
ResultCode ExtractMember(const std::wstring& archivePath, const ArchiveEntryW& record,
                         const std::string& listedPath, const Settings& settings, UniqueLocal& blockOut,
                         std::wstring& writtenPathOut);

// The body of GetFileW: the member at `position`, into the host's handle
// variable (bit 8 of flag set) or as a new file in the folder `destFolder`.
ResultCode FetchMember(const std::wstring& archivePath, std::uint64_t position, const std::wstring& destFolder,
                       HLOCAL* blockOut, std::uint32_t flag);

// Writes the whole block as a new file; never overwrites. 0, or 9 with no
// file left behind by this call.
ResultCode WriteNewFile(const std::wstring& outputPath, const void* bytes, std::uint64_t size);

}  // namespace qibor

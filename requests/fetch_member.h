#pragma once
// GetFile: one member's bytes, into a block for the host or as a new file
// in the host's folder.
#include <windows.h>

#include <cstdint>
#include <string>

#include "interface/records.h"

namespace qibor {

// The member at `position` of the archive's list: into *blockOut (bit 8 of
// flag set) or as a new file in `destFolder`. 0 on delivery; otherwise 2
// or 6 (no such archive or member), 4 (memory), 9 (the file could not be
// written), and nothing is delivered.
ResultCode FetchMember(const std::wstring& archivePath, std::uint64_t position, const std::wstring& destFolder,
                       HLOCAL* blockOut, std::uint32_t flag);

}  // namespace qibor

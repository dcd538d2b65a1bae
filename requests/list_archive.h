#pragma once
// GetArchiveInfo: an archive's whole member list, always read afresh.
#include <windows.h>

#include <cstdint>
#include <string>

#include "interface/records.h"

namespace qibor {

// The list into *listOut, a LocalAlloc block the host frees, which is null
// on every failure. 0; 2 when it is no archive qibor takes; 4 when memory
// ran out; 6 when it cannot be read.
ResultCode ListArchive(const std::wstring& archivePath, std::int64_t offset, HLOCAL* listOut);

}  // namespace qibor

#pragma once
// The list a host is given (GetArchiveInfo, GetFileInfo): read afresh, as
// whatever the cache held may be stale, and kept for the fetches that follow.
#include <cstdint>
#include <string>

#include "floor/unique_any.h"
#include "listing/listing.h"
#include "requests/request.h"

namespace qibor {

// Opens the archive into `archive` and lists it into `listing`. 0, or what
// ListAfresh answers; 6 when the archive cannot be opened.
ResultCode ListForHost(const Request& request, const std::wstring& archivePath, std::int64_t offset,
                       UniqueHandle& archive, Listing& listing);

}  // namespace qibor

#include "requests/list_archive.h"

#include "requests/host_listing.h"

namespace qibor {

ResultCode ListArchive(const std::wstring& archivePath, std::int64_t offset, HLOCAL* listOut) {
  *listOut = nullptr;
  Request request;
  UniqueHandle archive;
  Listing listing;
  const ResultCode result = ListForHost(request, archivePath, offset, archive, listing);
  if (result != Success) return result;
  *listOut = listing.records.release();
  return Success;
}

}  // namespace qibor

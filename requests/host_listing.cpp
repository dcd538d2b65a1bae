#include "requests/host_listing.h"

#include "extract/read_ahead.h"
#include "listing/listing_cache.h"
#include "tool/run_tool.h"

namespace qibor {

ResultCode ListForHost(const Request& request, const std::wstring& archivePath, std::int64_t offset,
                       UniqueHandle& archive, Listing& listing) {
  if (!request.ready() || archivePath.empty()) return ReadError;
  TheListingCache().Clear();
  TheReadAhead().End();
  archive = OpenArchive(archivePath);
  if (!archive.valid()) return ReadError;
  const ResultCode result =
      ListAfresh(request.scope.folder(), request.settings, archivePath, archive.get(), offset, listing);
  if (result == Success) TheListingCache().Store(archivePath, listing.list);
  return result;
}

}  // namespace qibor

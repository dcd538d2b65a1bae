#include "requests/list_archive.h"

#include "listing/listing.h"
#include "listing/listing_cache.h"
#include "requests/request.h"

namespace qibor {

ResultCode ListArchive(const std::wstring& archivePath, std::int64_t offset, HLOCAL* listOut) {
  *listOut = nullptr;
  Request request;
  if (!request.ready() || archivePath.empty()) return ReadError;
  // A host asks for the list when it opens an archive: whatever was cached
  // may be stale, and the fetches that follow use this one.
  TheListingCache().Clear();
  const UniqueHandle archive = OpenArchive(archivePath);
  if (!archive.valid()) return ReadError;
  Listing listing;
  const ResultCode result =
      ListAfresh(request.scope.folder(), request.settings, archivePath, archive.get(), offset, listing);
  if (result != Success) return result;
  TheListingCache().Store(archivePath, listing.list);
  *listOut = listing.records.release();
  return Success;
}

}  // namespace qibor

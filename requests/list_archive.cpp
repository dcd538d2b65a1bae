#include "requests/list_archive.h"

#include "listing/listing_cache.h"
#include "requests/archive_list.h"

namespace qibor {

ResultCode ListArchive(const std::wstring& archivePath, std::int64_t offset, HLOCAL* listOut) {
  *listOut = nullptr;
  Request request;
  // A host asks for the list when it opens an archive: whatever was cached
  // may be stale, and the fetches that follow use this one.
  TheListingCache().Clear();
  FreshList list;
  const ResultCode result = ListAfresh(request, archivePath, offset, list);
  if (result != Success) return result;
  KeepInCache(archivePath, list);
  *listOut = list.records.release();
  return Success;
}

}  // namespace qibor

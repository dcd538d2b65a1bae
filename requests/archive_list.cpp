#include "requests/archive_list.h"

#include <new>

#include "floor/win_path.h"
#include "listing/listing_builder.h"
#include "listing/listing_cache.h"

namespace qibor {
namespace {

// Reads the first bytes at `offset` and the file's identity, through one
// handle, so both describe the same file.
ResultCode ReadHeaderAndOrigin(const std::wstring& archivePath, std::int64_t offset, const Settings& settings,
                               ListOrigin& origin) {
  const UniqueHandle archive(
      CreateFileW(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!archive.valid()) return ReadError;
  LARGE_INTEGER target{};
  target.QuadPart = offset;
  LARGE_INTEGER reached{};
  if (!SetFilePointerEx(archive.get(), target, &reached, FILE_BEGIN) || reached.QuadPart != offset) return ReadError;
  unsigned char header[8] = {};
  DWORD read = 0;
  if (!ReadFile(archive.get(), header, sizeof(header), &read, nullptr)) return ReadError;
  if (read < sizeof(header)) return UnknownFormat;
  origin = OriginOf(archive.get(), settings);
  return Success;
}

}  // namespace

ListOrigin OriginOf(HANDLE archive, const Settings& settings) {
  ListOrigin origin;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(archive, &info)) return origin;
  origin.known = true;
  origin.volumeSerial = info.dwVolumeSerialNumber;
  origin.fileIndex = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  origin.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  origin.lastWrite =
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
  origin.toolDir = settings.toolDir;
  origin.maxMB = settings.maxMB;
  return origin;
}

ResultCode ListAfresh(const Request& request, const std::wstring& archivePath, std::int64_t offset,
                      FreshList& out) {
  // A cache slot holds a path of at most 259 units; a longer one is refused, not cut.
  if (!request.ready() || archivePath.empty() || archivePath.size() >= MAX_PATH) return ReadError;
  ListOrigin origin;
  const ResultCode checked = ReadHeaderAndOrigin(archivePath, offset, request.settings, origin);
  if (checked != Success) return checked;
  // The listing's own verbose run answers the probe's other questions.
  const std::wstring toolPath = ToolExePath(request.settings);
  if (toolPath.empty() || !FileExists(toolPath)) return UnknownFormat;

  // The compact copy is made in storage the cache already has, when it has some.
  out.compact = TheListingCache().TakeSpare();
  HLOCAL built = nullptr;
  try {
    if (!out.compact) out.compact = std::make_unique<CompactList>();
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
  const ResultCode result = BuildListing(archivePath, request.settings, &built, out.compact.get());
  if (result != Success) return result;
  out.records.reset(built);
  out.compact->toolPaths.origin = origin;
  return Success;
}

void KeepInCache(const std::wstring& archivePath, FreshList& list) {
  TheListingCache().Store(archivePath, std::move(list.compact));
}

}  // namespace qibor

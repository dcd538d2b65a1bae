#include "requests/archive_list.h"

#include <new>

#include "floor/win_path.h"
#include "listing/listing_builder.h"
#include "listing/listing_cache.h"

namespace qibor {
namespace {

// Opens the archive and reads its first bytes at `offset`.
ResultCode OpenAndReadHeader(const std::wstring& archivePath, std::int64_t offset, UniqueHandle& archive) {
  // Writers may hold it, as the tool's own runs allow: this handle stays
  // open while the first run goes.
  archive.reset(CreateFileW(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
  if (!archive.valid()) return ReadError;
  LARGE_INTEGER target{};
  target.QuadPart = offset;
  LARGE_INTEGER reached{};
  if (!SetFilePointerEx(archive.get(), target, &reached, FILE_BEGIN) || reached.QuadPart != offset) return ReadError;
  unsigned char header[8] = {};
  DWORD read = 0;
  if (!ReadFile(archive.get(), header, sizeof(header), &read, nullptr)) return ReadError;
  return read < sizeof(header) ? UnknownFormat : Success;
}

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

}  // namespace

ListOrigin OriginOf(HANDLE archive, const Settings& settings) {
  ListOrigin origin = QuickOriginOf(archive, settings);
  if (!AddFileIdentity(archive, origin)) return ListOrigin{};
  return origin;
}

ListOrigin QuickOriginOf(HANDLE archive, const Settings& settings) {
  ListOrigin origin;
  LARGE_INTEGER size{};
  FILETIME lastWrite{};
  if (GetFileSizeEx(archive, &size) && GetFileTime(archive, nullptr, nullptr, &lastWrite)) {
    origin.size = static_cast<std::uint64_t>(size.QuadPart);
    origin.lastWrite = Join(lastWrite.dwHighDateTime, lastWrite.dwLowDateTime);
  }
  origin.toolDir = settings.toolDir;
  origin.maxMB = settings.maxMB;
  return origin;
}

bool AddFileIdentity(HANDLE archive, ListOrigin& origin) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(archive, &info)) return false;
  // Size and time come from the quick read: they are what a later fetch compares.
  if (Join(info.nFileSizeHigh, info.nFileSizeLow) != origin.size ||
      Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime) != origin.lastWrite) {
    return false;
  }
  origin.volumeSerial = info.dwVolumeSerialNumber;
  origin.fileIndex = Join(info.nFileIndexHigh, info.nFileIndexLow);
  origin.known = true;
  return true;
}

ResultCode ListAfresh(const Request& request, const std::wstring& archivePath, std::int64_t offset,
                      FreshList& out) {
  // A cache slot holds a path of at most 259 units; a longer one is refused, not cut.
  if (!request.ready() || archivePath.empty() || archivePath.size() >= MAX_PATH) return ReadError;
  UniqueHandle archive;
  const ResultCode checked = OpenAndReadHeader(archivePath, offset, archive);
  if (checked != Success) return checked;
  // Read before the runs: a write while they go makes the list's origin stale.
  ListOrigin origin = QuickOriginOf(archive.get(), request.settings);
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
  // A list whose archive cannot be identified is never trusted by a fetch.
  const ResultCode result = BuildListing(archivePath, request.settings, &built, out.compact.get(),
                                         [&] { AddFileIdentity(archive.get(), origin); });
  if (result != Success) return result;
  out.records.reset(built);
  out.compact->toolPaths.origin = origin;
  return Success;
}

void KeepInCache(const std::wstring& archivePath, FreshList& list) {
  TheListingCache().Store(archivePath, std::move(list.compact));
}

}  // namespace qibor

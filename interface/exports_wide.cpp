// The wide exports: UTF-16 text in and out.
#include <cstring>
#include <string>

#include "extract/extract_member.h"
#include "interface/boundary.h"
#include "interface/exports.h"
#include "interface/plugin_info.h"
#include "interface/settings.h"
#include "listing/listing_cache.h"
#include "listing/work_folder.h"
#include "probe/probe.h"

using namespace qibor;

namespace {

// Host paths are at most 259 units; longer text is refused, never cut.
bool FitsPath(LPCWSTR text) { return text != nullptr && wcsnlen(text, MAX_PATH) < MAX_PATH; }

// A value is a file handle only when nothing above bit 15 is set; anything
// else is the host's pointer to the file's first bytes.
bool IsHandleValue(const void* source) { return (reinterpret_cast<std::uintptr_t>(source) >> 16) == 0; }

}  // namespace

namespace qibor {

// Shared by the wide and the ANSI form once the path is UTF-16.
int IsSupportedWide(const std::wstring* archivePath, void* source) {
  unsigned char header[8] = {};
  if (IsHandleValue(source)) {
    DWORD read = 0;
    if (!ReadFile(static_cast<HANDLE>(source), header, sizeof(header), &read, nullptr)) return 0;
  }
  if (archivePath == nullptr || archivePath->empty()) return 0;
  const Settings settings = ReadSettings();
  RequestScope request;
  if (request.folder().empty()) return 0;
  return ProbeArchive(*archivePath, header, settings) ? 1 : 0;
}

}  // namespace qibor

extern "C" int WINAPI GetPluginInfoW(int index, LPWSTR buffer, int bufferLength) {
  return Guarded(0, 0, [&] {
    std::wstring text;
    if (!PluginInfoText(index, ReadSettings(), text)) return 0;
    return CopyToHostBuffer(text, buffer, bufferLength);
  });
}

extern "C" int WINAPI IsSupportedW(LPCWSTR archivePath, void* source) {
  return Guarded(0, 0, [&] {
    if (archivePath != nullptr && !FitsPath(archivePath)) return IsSupportedWide(nullptr, source);
    const std::wstring path = archivePath != nullptr ? std::wstring(archivePath) : std::wstring();
    return IsSupportedWide(archivePath != nullptr ? &path : nullptr, source);
  });
}

extern "C" int WINAPI GetArchiveInfoW(LPCWSTR archivePath, LONG_PTR offset, unsigned int flag, HLOCAL* listOut) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if (listOut == nullptr) return static_cast<int>(!IsFileInput(flag) ? NotImplemented : ReadError);
    // Null after every failure, so a host that did not preset it frees nothing.
    *listOut = nullptr;
    if (!IsFileInput(flag)) return static_cast<int>(NotImplemented);
    if (!FitsPath(archivePath)) return static_cast<int>(ReadError);
    const std::wstring path(archivePath);
    const Settings settings = ReadSettings();
    RequestScope request;
    TheListingCache().Clear();
    return static_cast<int>(LookupOrBuildListing(path, static_cast<std::int64_t>(offset), settings, listOut, nullptr));
  });
}

extern "C" int WINAPI GetFileInfoW(LPCWSTR archivePath, LONG_PTR offset, LPCWSTR memberName, unsigned int flag,
                                   ArchiveEntryW* recordOut) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if (!IsFileInput(flag)) return static_cast<int>(NotImplemented);
    if (recordOut == nullptr || memberName == nullptr || !FitsPath(archivePath)) return static_cast<int>(ReadError);
    // A query (a path + name, or a name) fits a record's field: a host's
    // name buffer is never read past it.
    const std::size_t length = wcsnlen(memberName, kRecordTextUnits);
    if (length >= kRecordTextUnits) return static_cast<int>(NotImplemented);
    const std::wstring path(archivePath);
    const std::wstring text(memberName, length);
    const Settings settings = ReadSettings();
    RequestScope request;
    TheListingCache().Clear();
    // As hosts have it: the name goes into the record first; an empty name
    // asks for the position the record already holds.
    lstrcpyW(recordOut->name, text.c_str());
    const MemberQuery query{text, recordOut->position, true};
    return static_cast<int>(LookupOrBuildMember(path, static_cast<std::int64_t>(offset), settings, query, *recordOut));
  });
}

extern "C" int WINAPI GetFileW(LPCWSTR archivePath, LONG_PTR memberPosition, LPWSTR dest, unsigned int flag,
                               FARPROC /*progressCallback*/, LONG_PTR /*userData*/) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if (!IsFileInput(flag)) return static_cast<int>(NotImplemented);
    const bool toMemory = IsOutputToMemory(flag);
    if (dest == nullptr) return static_cast<int>(toMemory ? ReadError : WriteError);
    if (!FitsPath(archivePath)) return static_cast<int>(ReadError);
    if (!toMemory && !FitsPath(dest)) return static_cast<int>(WriteError);
    const std::wstring path(archivePath);
    const std::wstring folder = toMemory ? std::wstring() : std::wstring(dest);
    HLOCAL* blockOut = toMemory ? reinterpret_cast<HLOCAL*>(dest) : nullptr;
    return static_cast<int>(
        FetchMember(path, static_cast<std::uint64_t>(memberPosition), folder, blockOut, flag));
  });
}

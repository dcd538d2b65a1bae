// The wide exports: UTF-16 text in and out. Each checks the host's
// arguments, hands the request to its requests/ file and turns whatever
// happened into the interface's result.
#include <cstring>
#include <string>

#include "exports/boundary.h"
#include "exports/exports.h"
#include "interface/plugin_info.h"
#include "interface/settings.h"
#include "requests/check_support.h"
#include "requests/fetch_member.h"
#include "requests/find_member.h"
#include "requests/list_archive.h"

using namespace qibor;

namespace {

// Host paths are at most 259 units; longer text is refused, never cut.
bool FitsPath(LPCWSTR text) { return text != nullptr && wcsnlen(text, MAX_PATH) < MAX_PATH; }

}  // namespace

extern "C" int WINAPI GetPluginInfoW(int index, LPWSTR buffer, int bufferLength) {
  return Guarded(0, 0, [&] {
    std::wstring text;
    if (!PluginInfoText(index, ReadSettings(), text)) return 0;
    return CopyToHostBuffer(text, buffer, bufferLength);
  });
}

extern "C" int WINAPI IsSupportedW(LPCWSTR archivePath, void* source) {
  return Guarded(0, 0, [&] {
    // A path too long to be one is still read from the handle, then refused.
    if (archivePath == nullptr || !FitsPath(archivePath)) return CheckSupport(nullptr, source) ? 1 : 0;
    const std::wstring path(archivePath);
    return CheckSupport(&path, source) ? 1 : 0;
  });
}

extern "C" int WINAPI GetArchiveInfoW(LPCWSTR archivePath, LONG_PTR offset, unsigned int flag, HLOCAL* listOut) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if (listOut == nullptr) return static_cast<int>(!IsFileInput(flag) ? NotImplemented : ReadError);
    // Null after every failure, so a host that did not preset it frees nothing.
    *listOut = nullptr;
    if (!IsFileInput(flag)) return static_cast<int>(NotImplemented);
    if (!FitsPath(archivePath)) return static_cast<int>(ReadError);
    return static_cast<int>(ListArchive(archivePath, static_cast<std::int64_t>(offset), listOut));
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
    const std::wstring text(memberName, length);
    // As hosts have it: the name goes into the record first; an empty name
    // asks for the position the record already holds.
    lstrcpyW(recordOut->name, text.c_str());
    const MemberQuery query{text, recordOut->position, true};
    return static_cast<int>(FindMember(archivePath, static_cast<std::int64_t>(offset), query, *recordOut));
  });
}

extern "C" int WINAPI GetFileW(LPCWSTR archivePath, LONG_PTR memberPosition, LPWSTR dest, unsigned int flag,
                               FARPROC /*progressCallback*/, LONG_PTR /*userData*/) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if (const std::optional<int> refused = RefusedFetch(flag, dest)) return *refused;
    const bool toMemory = IsOutputToMemory(flag);
    if (!FitsPath(archivePath)) return static_cast<int>(ReadError);
    if (!toMemory && !FitsPath(dest)) return static_cast<int>(WriteError);
    const std::wstring folder = toMemory ? std::wstring() : std::wstring(dest);
    HLOCAL* blockOut = toMemory ? reinterpret_cast<HLOCAL*>(dest) : nullptr;
    return static_cast<int>(
        FetchMember(archivePath, static_cast<std::uint64_t>(memberPosition), folder, blockOut, flag));
  });
}

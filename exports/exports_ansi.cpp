// The ANSI exports: text in the calling thread's ANSI code page, converted
// to UTF-16 and served as the wide exports serve it.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "floor/unique_any.h"
#include "interface/ansi_text.h"
#include "exports/boundary.h"
#include "exports/exports.h"
#include "interface/plugin_info.h"
#include "interface/settings.h"
#include "requests/check_support.h"
#include "requests/fetch_member.h"
#include "requests/find_member.h"
#include "requests/list_archive.h"

using namespace qibor;

extern "C" int WINAPI GetPluginInfo(int index, LPSTR buffer, int bufferLength) {
  return Guarded(0, 0, [&] {
    std::wstring text;
    if (!PluginInfoText(index, ReadSettings(), text) || buffer == nullptr || bufferLength <= 0) return 0;
    const AnsiPiece piece = ToAnsiFitting(text, static_cast<std::size_t>(bufferLength));
    std::memcpy(buffer, piece.bytes.data(), piece.bytes.size());
    buffer[piece.bytes.size()] = '\0';
    return static_cast<int>(piece.units);
  });
}

extern "C" int WINAPI IsSupported(LPCSTR archivePath, void* source) {
  return Guarded(0, 0, [&] {
    const std::optional<std::wstring> path = ToWide(archivePath, MAX_PATH);
    return CheckSupport(path ? &*path : nullptr, source) ? 1 : 0;
  });
}

extern "C" int WINAPI GetArchiveInfo(LPCSTR archivePath, LONG_PTR offset, unsigned int flag, HLOCAL* listOut) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if (listOut == nullptr) return static_cast<int>(!IsFileInput(flag) ? NotImplemented : ReadError);
    // Null after every failure, so a host that did not preset it frees nothing.
    *listOut = nullptr;
    if (!IsFileInput(flag)) return static_cast<int>(NotImplemented);
    const std::optional<std::wstring> path = ToWide(archivePath, MAX_PATH);
    if (!path || path->empty()) return static_cast<int>(ReadError);

    HLOCAL wideList = nullptr;
    const ResultCode result = ListArchive(*path, static_cast<std::int64_t>(offset), &wideList);
    if (result != Success) return static_cast<int>(result);
    UniqueLocal wide(wideList);
    const auto* records = wide.as<ArchiveEntryW>();
    const std::size_t capacity = LocalSize(wide.get()) / sizeof(ArchiveEntryW);
    std::size_t count = 0;
    while (count < capacity && !IsTerminator(records[count])) ++count;

    UniqueLocal ansi(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, (count + 1) * sizeof(ArchiveEntryA)));
    if (!ansi) return static_cast<int>(OutOfMemory);
    auto* ansiRecords = ansi.as<ArchiveEntryA>();
    for (std::size_t i = 0; i < count; ++i) ToAnsiRecord(records[i], ansiRecords[i]);
    *listOut = ansi.release();
    return static_cast<int>(Success);
  });
}

extern "C" int WINAPI GetFileInfo(LPCSTR archivePath, LONG_PTR offset, LPCSTR memberName, unsigned int flag,
                                  ArchiveEntryA* recordOut) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if (!IsFileInput(flag)) return static_cast<int>(NotImplemented);
    if (recordOut == nullptr) return static_cast<int>(ReadError);
    const std::optional<std::wstring> path = ToWide(archivePath, MAX_PATH);
    const std::optional<std::wstring> name = ToWide(memberName, MAX_PATH);
    if (!path || path->empty() || !name) return static_cast<int>(ReadError);

    ArchiveEntryW found{};
    const ResultCode result = FindMemberAnsi(*path, static_cast<std::int64_t>(offset), memberName, *name, found);
    if (result != Success) return static_cast<int>(result);
    ToAnsiRecord(found, *recordOut);
    return static_cast<int>(Success);
  });
}

extern "C" int WINAPI GetFile(LPCSTR archivePath, LONG_PTR memberPosition, LPSTR dest, unsigned int flag,
                              FARPROC /*progressCallback*/, LONG_PTR /*userData*/) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if (const std::optional<int> refused = RefusedFetch(flag, dest)) return *refused;
    const bool toMemory = IsOutputToMemory(flag);
    const std::optional<std::wstring> path = ToWide(archivePath, MAX_PATH);
    if (!path || path->empty()) return static_cast<int>(ReadError);
    std::wstring folder;
    if (!toMemory) {
      // Whenever bit 8 is clear, dest is a folder path in the ANSI code page.
      const std::optional<std::wstring> converted = ToWide(dest, MAX_PATH);
      if (!converted) return static_cast<int>(WriteError);
      folder = *converted;
    }
    HLOCAL* blockOut = toMemory ? reinterpret_cast<HLOCAL*>(dest) : nullptr;
    return static_cast<int>(FetchMember(*path, static_cast<std::uint64_t>(memberPosition), folder, blockOut, flag));
  });
}

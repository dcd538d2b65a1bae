// The ANSI exports: text in the calling thread's ANSI code page, converted
// to UTF-16 and served as the wide exports serve it.
#include <cstring>
#include <optional>
#include <string>

#include "extract/extract_member.h"
#include "interface/ansi_text.h"
#include "interface/boundary.h"
#include "interface/exports.h"
#include "interface/plugin_info.h"
#include "interface/win_owners.h"
#include "listing/listing_cache.h"
#include "listing/work_folder.h"

using namespace qibor;

namespace qibor {
int IsSupportedWide(const std::wstring* archivePath, void* source);
}

namespace {

// The record whose name, as the ANSI records give it, equals `name` without
// regard to case. The list comes from the cache, built by the caller.
bool FindByAnsiName(const std::wstring& archivePath, LPCSTR name, ArchiveEntryW& found) {
  HLOCAL copy = nullptr;
  if (LookupOrBuildListing(archivePath, 0, &copy, nullptr) != Success) return false;
  UniqueLocal list(copy);
  const auto* records = list.as<ArchiveEntryW>();
  const std::size_t capacity = LocalSize(list.get()) / sizeof(ArchiveEntryW);
  for (std::size_t i = 0; i < capacity && !IsTerminator(records[i]); ++i) {
    const std::wstring_view recordName(records[i].name, wcsnlen(records[i].name, kRecordTextUnits));
    const std::string ansi = ToAnsiFitting(recordName, kRecordTextUnits).bytes;
    if (CompareStringA(GetThreadLocale(), NORM_IGNORECASE, ansi.c_str(), -1, name, -1) == CSTR_EQUAL) {
      found = records[i];
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int WINAPI GetPluginInfo(int index, LPSTR buffer, int bufferLength) {
  return Guarded(0, 0, [&] {
    std::wstring text;
    if (!PluginInfoText(index, text) || buffer == nullptr || bufferLength <= 0) return 0;
    const AnsiPiece piece = ToAnsiFitting(text, static_cast<std::size_t>(bufferLength));
    std::memcpy(buffer, piece.bytes.data(), piece.bytes.size());
    buffer[piece.bytes.size()] = '\0';
    return static_cast<int>(piece.units);
  });
}

extern "C" int WINAPI IsSupported(LPCSTR archivePath, void* source) {
  return Guarded(0, 0, [&] {
    const std::optional<std::wstring> path = ToWide(archivePath, MAX_PATH);
    return IsSupportedWide(path ? &*path : nullptr, source);
  });
}

extern "C" int WINAPI GetArchiveInfo(LPCSTR archivePath, LONG_PTR offset, unsigned int flag, HLOCAL* listOut) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if ((flag & 7) != 0) return static_cast<int>(NotImplemented);
    if (listOut == nullptr) return static_cast<int>(ReadError);
    *listOut = nullptr;
    const std::optional<std::wstring> path = ToWide(archivePath, MAX_PATH);
    if (!path || path->empty()) return static_cast<int>(ReadError);

    HLOCAL wideList = nullptr;
    {
      RequestScope request;
      TheListingCache().Clear();
      const ResultCode result = LookupOrBuildListing(*path, static_cast<std::int64_t>(offset), &wideList, nullptr);
      if (result != Success) return static_cast<int>(result);
    }
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
    if ((flag & 7) != 0) return static_cast<int>(NotImplemented);
    if (recordOut == nullptr) return static_cast<int>(ReadError);
    const std::optional<std::wstring> path = ToWide(archivePath, MAX_PATH);
    const std::optional<std::wstring> name = ToWide(memberName, MAX_PATH);
    if (!path || path->empty() || !name) return static_cast<int>(ReadError);
    // A name that does not fit the record's field cannot be any member's.
    if (name->size() >= kRecordTextUnits) return static_cast<int>(NotImplemented);

    // An empty name matches by position; the query's position is then 0.
    ArchiveEntryW query{};
    std::copy(name->begin(), name->end(), query.name);
    {
      RequestScope request;
      TheListingCache().Clear();
      ResultCode result = LookupOrBuildListing(*path, static_cast<std::int64_t>(offset), nullptr, &query);
      // A name longer than the ANSI field reaches the host cut to fit it;
      // the host may ask for it by that cut name.
      if (result == NotImplemented && !name->empty() && FindByAnsiName(*path, memberName, query)) result = Success;
      if (result != Success) return static_cast<int>(result);
    }
    ToAnsiRecord(query, *recordOut);
    return static_cast<int>(Success);
  });
}

extern "C" int WINAPI GetFile(LPCSTR archivePath, LONG_PTR memberPosition, LPSTR dest, unsigned int flag,
                              FARPROC /*progressCallback*/, LONG_PTR /*userData*/) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if ((flag & 7) != 0) return static_cast<int>(NotImplemented);
    const bool toMemory = (flag & 0x100) != 0;
    if (dest == nullptr) return static_cast<int>(toMemory ? ReadError : WriteError);
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

// The ANSI exports: text in the calling thread's ANSI code page, converted
// to UTF-16 and served as the wide exports serve it.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "extract/extract_member.h"
#include "interface/ansi_text.h"
#include "interface/boundary.h"
#include "interface/exports.h"
#include "interface/plugin_info.h"
#include "interface/settings.h"
#include "interface/win_owners.h"
#include "listing/listing_cache.h"
#include "listing/work_folder.h"

using namespace qibor;

namespace qibor {
int IsSupportedWide(const std::wstring* archivePath, void* source);
}

namespace {

bool SameAnsiText(const char* a, const char* b) {
  return CompareStringA(GetThreadLocale(), NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

// The member an ANSI query names when its UTF-16 form names none by path +
// name: a path or name longer than its ANSI field reaches the host cut to
// fit, and the host may ask for it by that cut text. In order: path + name
// as the ANSI records give them, the name in UTF-16, the name as the ANSI
// records give it. The list comes from the cache, built by the caller.
bool FindInAnsiForms(const std::wstring& archivePath, const Settings& settings, LPCSTR query,
                     const std::wstring& wideQuery, ArchiveEntryW& found) {
  HLOCAL copy = nullptr;
  if (LookupOrBuildListing(archivePath, 0, settings, &copy, nullptr) != Success) return false;
  UniqueLocal list(copy);
  const auto* records = list.as<ArchiveEntryW>();
  const std::size_t capacity = LocalSize(list.get()) / sizeof(ArchiveEntryW);
  std::string wanted(query);
  // "/" is never a byte of a multi-byte character.
  std::replace(wanted.begin(), wanted.end(), '/', '\\');
  const ArchiveEntryW* byAnsiName = nullptr;
  for (std::size_t i = 0; i < capacity && !IsTerminator(records[i]); ++i) {
    ArchiveEntryA ansi;
    ToAnsiRecord(records[i], ansi);
    if (SameAnsiText((std::string(ansi.path) + ansi.name).c_str(), wanted.c_str())) {
      found = records[i];
      return true;
    }
    if (byAnsiName == nullptr && SameAnsiText(ansi.name, query)) byAnsiName = &records[i];
  }
  const ArchiveEntryW* byName = FindRecord(list.get(), MemberQuery{wideQuery, 0, true});
  if (byName == nullptr) byName = byAnsiName;
  if (byName == nullptr) return false;
  found = *byName;
  return true;
}

}  // namespace

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
    return IsSupportedWide(path ? &*path : nullptr, source);
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
    {
      const Settings settings = ReadSettings();
      RequestScope request;
      TheListingCache().Clear();
      const ResultCode result =
          LookupOrBuildListing(*path, static_cast<std::int64_t>(offset), settings, &wideList, nullptr);
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
    if (!IsFileInput(flag)) return static_cast<int>(NotImplemented);
    if (recordOut == nullptr) return static_cast<int>(ReadError);
    const std::optional<std::wstring> path = ToWide(archivePath, MAX_PATH);
    const std::optional<std::wstring> name = ToWide(memberName, MAX_PATH);
    if (!path || path->empty() || !name) return static_cast<int>(ReadError);

    // An empty name matches by position; the query's position is then 0.
    ArchiveEntryW found{};
    {
      const Settings settings = ReadSettings();
      RequestScope request;
      TheListingCache().Clear();
      const MemberQuery byPath{*name, 0, false};
      ResultCode result = LookupOrBuildMember(*path, static_cast<std::int64_t>(offset), settings, byPath, found);
      if (result == NotImplemented && !name->empty() && FindInAnsiForms(*path, settings, memberName, *name, found)) {
        result = Success;
      }
      if (result != Success) return static_cast<int>(result);
    }
    ToAnsiRecord(found, *recordOut);
    return static_cast<int>(Success);
  });
}

extern "C" int WINAPI GetFile(LPCSTR archivePath, LONG_PTR memberPosition, LPSTR dest, unsigned int flag,
                              FARPROC /*progressCallback*/, LONG_PTR /*userData*/) {
  return Guarded(ReadError, OutOfMemory, [&] {
    if (!IsFileInput(flag)) return static_cast<int>(NotImplemented);
    const bool toMemory = IsOutputToMemory(flag);
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

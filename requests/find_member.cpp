#include "requests/find_member.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "interface/ansi_text.h"
#include "requests/archive_list.h"

namespace qibor {
namespace {

using Finder = std::function<const ArchiveEntryW*(HLOCAL list)>;

// Lists the archive afresh and copies out the record `find` picks from it.
ResultCode FindInFreshList(const std::wstring& archivePath, std::int64_t offset, const Finder& find,
                           ArchiveEntryW& recordOut) {
  Request request;
  TheListingCache().Clear();
  FreshList list;
  const ResultCode result = ListAfresh(request, archivePath, offset, list);
  if (result != Success) return result;
  const ArchiveEntryW* found = find(list.records.get());
  if (found != nullptr) std::memcpy(&recordOut, found, sizeof(ArchiveEntryW));
  KeepInCache(archivePath, list);
  return found != nullptr ? Success : NotImplemented;
}

bool SameAnsiText(const char* a, const char* b) {
  return CompareStringA(GetThreadLocale(), NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

const ArchiveEntryW* FindByAnsiForms(HLOCAL list, const char* query, const std::wstring& wideQuery) {
  const auto* records = static_cast<const ArchiveEntryW*>(list);
  const std::size_t capacity = LocalSize(list) / sizeof(ArchiveEntryW);
  std::string wanted(query);
  // "/" is never a byte of a multi-byte character.
  std::replace(wanted.begin(), wanted.end(), '/', '\\');
  const ArchiveEntryW* byAnsiName = nullptr;
  for (std::size_t i = 0; i < capacity && !IsTerminator(records[i]); ++i) {
    ArchiveEntryA ansi;
    ToAnsiRecord(records[i], ansi);
    if (SameAnsiText((std::string(ansi.path) + ansi.name).c_str(), wanted.c_str())) return &records[i];
    if (byAnsiName == nullptr && SameAnsiText(ansi.name, query)) byAnsiName = &records[i];
  }
  const ArchiveEntryW* byName = FindRecord(list, MemberQuery{wideQuery, 0, true});
  return byName != nullptr ? byName : byAnsiName;
}

}  // namespace

ResultCode FindMember(const std::wstring& archivePath, std::int64_t offset, const MemberQuery& query,
                      ArchiveEntryW& recordOut) {
  return FindInFreshList(
      archivePath, offset, [&](HLOCAL list) { return FindRecord(list, query); }, recordOut);
}

ResultCode FindMemberAnsi(const std::wstring& archivePath, std::int64_t offset, const char* ansiQuery,
                          const std::wstring& wideQuery, ArchiveEntryW& recordOut) {
  // An empty name matches by position; the query's position is then 0.
  const MemberQuery byPath{wideQuery, 0, false};
  return FindInFreshList(
      archivePath, offset,
      [&](HLOCAL list) {
        const ArchiveEntryW* found = FindRecord(list, byPath);
        if (found == nullptr && !wideQuery.empty()) found = FindByAnsiForms(list, ansiQuery, wideQuery);
        return found;
      },
      recordOut);
}

}  // namespace qibor

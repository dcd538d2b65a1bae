#include "requests/find_member.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "extract/member_selection.h"
#include "interface/ansi_text.h"
#include "requests/host_listing.h"

namespace qibor {
namespace {

using Records = std::span<const ArchiveEntryW>;

bool SameText(const wchar_t* a, const wchar_t* b) { return lstrcmpiW(a, b) == 0; }

// The text with "/" read as "\", as hosts write either.
std::wstring WithBackslashes(std::wstring_view text) {
  std::wstring path(text);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

// The records whose path + name is the text.
std::vector<std::size_t> RecordsNamed(Records records, std::wstring_view text) {
  const std::wstring wanted = WithBackslashes(text);
  std::vector<std::size_t> found;
  std::wstring full;
  for (std::size_t i = 0; i < records.size(); ++i) {
    full.assign(records[i].path);
    full.append(records[i].name);
    if (SameText(full.c_str(), wanted.c_str())) found.push_back(i);
  }
  return found;
}

std::optional<std::size_t> FirstNamed(Records records, std::wstring_view name) {
  const std::wstring wanted(name);
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (SameText(records[i].name, wanted.c_str())) return i;
  }
  return std::nullopt;
}

// A fresh listing, with what a lookup in it needs.
struct Lookup {
  const ArchiveRuns& runs;
  const ArchiveList& list;
  Records records;
};

// The record the text names by path + name: among several that print alike,
// the member stored under exactly that name where the tool can tell.
std::optional<std::size_t> FindByPath(const Lookup& lookup, std::wstring_view text) {
  const std::vector<std::size_t> alike = RecordsNamed(lookup.records, text);
  if (alike.size() <= 1) return alike.empty() ? std::nullopt : std::optional<std::size_t>(alike[0]);
  std::wstring path(text);
  std::replace(path.begin(), path.end(), L'\\', L'/');
  const std::optional<std::size_t> stored = MemberStoredAs(lookup.runs, lookup.list, path, alike);
  return stored ? stored : alike[0];
}

std::optional<std::size_t> FindByQuery(const Lookup& lookup, const MemberQuery& query) {
  if (query.text.empty()) {
    if (query.position < lookup.records.size()) return static_cast<std::size_t>(query.position);
    return std::nullopt;
  }
  if (const std::optional<std::size_t> found = FindByPath(lookup, query.text)) return found;
  // As hosts that know only names have always asked: the first of that name.
  return query.nameAlone ? FirstNamed(lookup.records, query.text) : std::nullopt;
}

bool SameAnsiText(const char* a, const char* b) {
  return CompareStringA(GetThreadLocale(), NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

std::optional<std::size_t> FindByAnsiForms(Records records, const char* query, const std::wstring& wideQuery) {
  std::string wanted(query);
  // "/" is never a byte of a multi-byte character.
  std::replace(wanted.begin(), wanted.end(), '/', '\\');
  std::optional<std::size_t> byAnsiName;
  for (std::size_t i = 0; i < records.size(); ++i) {
    ArchiveEntryA ansi;
    ToAnsiRecord(records[i], ansi);
    if (SameAnsiText((std::string(ansi.path) + ansi.name).c_str(), wanted.c_str())) return i;
    if (!byAnsiName && SameAnsiText(ansi.name, query)) byAnsiName = i;
  }
  const std::optional<std::size_t> byName = FirstNamed(records, wideQuery);
  return byName ? byName : byAnsiName;
}

using Finder = std::function<std::optional<std::size_t>(const Lookup&)>;

// Lists the archive afresh and copies out the record `find` picks from it.
ResultCode FindInFreshList(const std::wstring& archivePath, std::int64_t offset, const Finder& find,
                           ArchiveEntryW& recordOut) {
  Request request;
  UniqueHandle archive;
  Listing listing;
  const ResultCode result = ListForHost(request, archivePath, offset, archive, listing);
  if (result != Success) return result;
  const ArchiveRuns runs = request.RunsOn(archive.get());
  const Lookup lookup{runs, *listing.list, Records(listing.records.as<ArchiveEntryW>(), listing.list->members.size())};
  const std::optional<std::size_t> found = find(lookup);
  if (!found) return NotImplemented;
  recordOut = lookup.records[*found];
  return Success;
}

}  // namespace

ResultCode FindMember(const std::wstring& archivePath, std::int64_t offset, const MemberQuery& query,
                      ArchiveEntryW& recordOut) {
  return FindInFreshList(
      archivePath, offset, [&](const Lookup& lookup) { return FindByQuery(lookup, query); }, recordOut);
}

ResultCode FindMemberAnsi(const std::wstring& archivePath, std::int64_t offset, const char* ansiQuery,
                          const std::wstring& wideQuery, ArchiveEntryW& recordOut) {
  // An empty name matches by position; the query's position is then 0.
  const MemberQuery byPath{wideQuery, 0, false};
  return FindInFreshList(
      archivePath, offset,
      [&](const Lookup& lookup) {
        std::optional<std::size_t> found = FindByQuery(lookup, byPath);
        if (!found && !wideQuery.empty()) found = FindByAnsiForms(lookup.records, ansiQuery, wideQuery);
        return found;
      },
      recordOut);
}

}  // namespace qibor

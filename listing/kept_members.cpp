#include "listing/kept_members.h"

#include "interface/record_text.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace qibor {

std::vector<KeptMember> FindKeptMembers(std::string_view plainOutput, std::string_view verboseOutput,
                                        std::int64_t sizeLimit) {
  std::vector<KeptMember> kept;
  PairKeptMembers([&](CapturedLine& line) { return TakeCapturedLine(plainOutput, line); },
                  [&](CapturedLine& line) { return TakeCapturedLine(verboseOutput, line); }, sizeLimit,
                  [&](const KeptMember& member, std::string_view) {
                    kept.push_back(member);
                    return true;
                  });
  return kept;
}

bool IsFileEntry(std::string_view verboseLine, std::string_view plainLine) {
  if (verboseLine.empty() || verboseLine[0] != '-' || plainLine.empty()) return false;
  if (verboseLine.size() <= plainLine.size()) return false;
  const std::size_t nameStart = verboseLine.size() - plainLine.size();
  if (verboseLine.substr(nameStart) != plainLine || verboseLine[nameStart - 1] != ' ') return false;
  const std::string_view before = verboseLine.substr(0, nameStart - 1);
  return before.find(" link to ") == std::string_view::npos && before.find(" -> ") == std::string_view::npos;
}

std::vector<bool> SoleMatches(const std::vector<std::string>& entryKeys, const std::vector<std::size_t>& keptLines) {
  std::unordered_map<std::string_view, std::size_t> uses;
  std::unordered_set<std::string_view> folders;  // every key that has an entry below it
  for (const std::string& key : entryKeys) {
    ++uses[key];
    for (std::size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
      folders.insert(std::string_view(key).substr(0, slash));
    }
  }
  std::vector<bool> sole;
  sole.reserve(keptLines.size());
  for (const std::size_t line : keptLines) {
    const std::string_view key = line < entryKeys.size() ? std::string_view(entryKeys[line]) : std::string_view();
    sole.push_back(!key.empty() && uses[key] == 1 && folders.count(key) == 0);
  }
  return sole;
}

std::wstring_view MemberName(std::wstring_view memberPath) {
  const std::size_t slash = memberPath.rfind(L'/');
  return slash == std::wstring_view::npos ? memberPath : memberPath.substr(slash + 1);
}

std::string_view MemberName(std::string_view memberPath) {
  const std::size_t slash = memberPath.rfind('/');
  return slash == std::string_view::npos ? memberPath : memberPath.substr(slash + 1);
}

std::string_view MemberFolder(std::string_view memberPath) {
  const std::size_t slash = memberPath.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : memberPath.substr(0, slash + 1);
}

bool RecordNamesMember(const ArchiveEntryW& record, std::wstring_view memberPath, std::int64_t size) {
  if (record.size != static_cast<std::uint64_t>(size)) return false;
  RecordChar name[kRecordTextUnits];
  CopyToRecordText(name, MemberName(memberPath));
  return std::equal(std::begin(name), std::end(name), std::begin(record.name));
}

std::int64_t UnixSecondsFromFileTime(std::uint64_t fileTime) {
  constexpr std::int64_t kIntervalsTo1970 = 116444736000000000LL;
  return (static_cast<std::int64_t>(fileTime) - kIntervalsTo1970) / 10000000LL;
}

void SetMemberFields(ArchiveEntryW& record, std::uint64_t position, std::int64_t size, std::int64_t timestamp) {
  std::fill(std::begin(record.method), std::end(record.method), '\0');
  record.method[0] = 'T';
  record.method[1] = 'A';
  record.method[2] = 'R';
  record.position = position;
  record.compressedSize = static_cast<std::uint64_t>(size);
  record.size = static_cast<std::uint64_t>(size);
  record.timestamp = timestamp;
}

}  // namespace qibor

#include "listing/kept_members.h"

#include "interface/record_text.h"

#include <algorithm>

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

namespace {

// Marks every key that lies above `key` (each part before a "/").
void MarkFoldersAbove(SoleMatchTally& tally, std::string_view key) {
  for (std::size_t slash = key.find('/'); slash != std::string_view::npos; slash = key.find('/', slash + 1)) {
    const std::string_view folder = key.substr(0, slash);
    auto found = tally.keys.find(folder);
    if (found == tally.keys.end()) found = tally.keys.emplace(std::string(folder), SoleMatchTally::KeyUse{}).first;
    found->second.hasBelow = true;
  }
}

// Counts one entry's key; its use, null for an empty key.
const SoleMatchTally::KeyUse* Count(SoleMatchTally& tally, const std::string& key) {
  // Members of one folder mostly follow each other: its folders are marked once.
  const std::size_t lastSlash = key.rfind('/');
  const std::string_view folder =
      lastSlash == std::string::npos ? std::string_view() : std::string_view(key).substr(0, lastSlash + 1);
  if (folder != tally.lastFolder) {
    MarkFoldersAbove(tally, key);
    tally.lastFolder.assign(folder);
  }
  if (key.empty()) return nullptr;
  auto found = tally.keys.find(std::string_view(key));
  if (found == tally.keys.end()) found = tally.keys.emplace(key, SoleMatchTally::KeyUse{}).first;
  ++found->second.entries;
  return &found->second;
}

}  // namespace

void TallyEntry(SoleMatchTally& tally, std::string_view plainLine, bool kept) {
  tally.scratch = MatchKeyOf(plainLine);
  const SoleMatchTally::KeyUse* use = Count(tally, tally.scratch);
  if (kept) tally.kept.push_back(use);
}

std::vector<bool> SoleMatches(const SoleMatchTally& tally) {
  std::vector<bool> sole;
  sole.reserve(tally.kept.size());
  for (const SoleMatchTally::KeyUse* use : tally.kept) sole.push_back(use != nullptr && use->entries == 1 && !use->hasBelow);
  return sole;
}

std::vector<bool> SoleMatches(const std::vector<std::string>& entryKeys, const std::vector<std::size_t>& keptLines) {
  SoleMatchTally tally;
  std::vector<const SoleMatchTally::KeyUse*> uses;
  uses.reserve(entryKeys.size());
  for (const std::string& key : entryKeys) uses.push_back(Count(tally, key));
  for (const std::size_t line : keptLines) tally.kept.push_back(line < uses.size() ? uses[line] : nullptr);
  return SoleMatches(tally);
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

#include "listing/entries.h"

#include <unordered_map>

#include "listing/member_size.h"

namespace qibor {
namespace {

// Whether `text` holds `word` with a space before and after it.
bool HasSpacedWord(std::string_view text, std::string_view word) {
  for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
    const std::size_t end = at + word.size();
    if (at > 0 && text[at - 1] == ' ' && end < text.size() && text[end] == ' ') return true;
  }
  return false;
}

bool IsFileLine(std::string_view verboseLine, std::string_view plainLine) {
  if (verboseLine.size() <= plainLine.size() || plainLine.empty()) return false;
  const std::size_t nameStart = verboseLine.size() - plainLine.size();
  if (!verboseLine.ends_with(plainLine) || verboseLine[nameStart - 1] != ' ') return false;
  const std::string_view before = verboseLine.substr(0, nameStart - 1);
  return !HasSpacedWord(before, "link to") && !HasSpacedWord(before, "->");
}

}  // namespace

EntryKind KindOf(std::string_view verboseLine, std::string_view plainLine) {
  if (verboseLine.empty()) return EntryKind::Other;
  switch (verboseLine[0]) {
    case 'd':
      return EntryKind::Folder;
    case 'l':
      return EntryKind::SymbolicLink;
    case '-':
      if (IsFileLine(verboseLine, plainLine)) return EntryKind::File;
      return HasSpacedWord(verboseLine, "link to") ? EntryKind::HardLink : EntryKind::Other;
    default:
      return EntryKind::Other;
  }
}

void AddEntry(Entries& entries, std::string_view plainLine, std::string_view verboseLine) {
  entries.paths.append(plainLine);
  entries.ends.push_back(static_cast<std::uint32_t>(entries.paths.size()));
  entries.sizes.push_back(ParseMemberSize(verboseLine, plainLine));
  entries.kinds.push_back(KindOf(verboseLine, plainLine));
}

std::string_view PathOf(const Entries& entries, std::size_t entry) {
  const std::size_t start = entry == 0 ? 0 : entries.ends[entry - 1];
  return std::string_view(entries.paths).substr(start, entries.ends[entry] - start);
}

std::optional<std::uint64_t> BytesWrittenFor(EntryKind kind, std::int64_t size) {
  if (kind == EntryKind::File && size >= 0) return static_cast<std::uint64_t>(size);
  if ((kind == EntryKind::Folder || kind == EntryKind::SymbolicLink) && size == 0) return 0;
  return std::nullopt;
}

std::vector<bool> SoleMatches(const Entries& entries, const std::vector<std::uint32_t>& members) {
  struct Count {
    std::uint32_t entries = 0;
    bool hasBelow = false;
  };
  // Keys are counted by views into `keys`, which outlives the map.
  std::vector<std::string> keys(EntryCount(entries));
  std::unordered_map<std::string_view, Count> counts;
  counts.reserve(keys.size() * 2);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = MatchKeyOf(PathOf(entries, i));
    const std::string_view key = keys[i];
    ++counts[key].entries;
    // Each folder the key goes through has an entry below it.
    for (std::size_t slash = key.find('/'); slash != std::string_view::npos; slash = key.find('/', slash + 1)) {
      counts[key.substr(0, slash)].hasBelow = true;
    }
  }
  std::vector<bool> sole;
  sole.reserve(members.size());
  for (const std::uint32_t member : members) {
    const std::string_view key = keys[member];
    const Count& count = counts[key];
    sole.push_back(!key.empty() && count.entries == 1 && !count.hasBelow &&
                   PathOf(entries, member).find('?') == std::string_view::npos);
  }
  return sole;
}

std::wstring_view MemberName(std::wstring_view memberPath) {
  const std::size_t slash = memberPath.rfind(L'/');
  return slash == std::wstring_view::npos ? memberPath : memberPath.substr(slash + 1);
}

std::wstring_view MemberFolder(std::wstring_view memberPath) {
  const std::size_t slash = memberPath.rfind(L'/');
  return slash == std::wstring_view::npos ? std::wstring_view() : memberPath.substr(0, slash + 1);
}

}  // namespace qibor

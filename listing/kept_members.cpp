#include "listing/kept_members.h"

#include "floor/byte_search.h"
#include "interface/record_text.h"

#include <algorithm>
#include <cstring>

namespace qibor {

namespace {

// Whether `text` holds `word` with a space before and after it. Searched by
// the word's last character: a verbose line's fields are full of spaces and
// dashes, which would stop a search by its first at every field.
bool HasSpacedText(std::string_view text, std::string_view word) {
  for (std::size_t at = FindByte(text, word.back(), word.size()); at != kNoByte;
       at = FindByte(text, word.back(), at + 1)) {
    const std::size_t start = at + 1 - word.size();
    if (at + 1 < text.size() && text[at + 1] == ' ' && text[start - 1] == ' ' &&
        SameBytes(text.substr(start, word.size()), word)) {
      return true;
    }
  }
  return false;
}

}  // namespace

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
  if (!SameBytes(verboseLine.substr(nameStart), plainLine) || verboseLine[nameStart - 1] != ' ') return false;
  const std::string_view before = verboseLine.substr(0, nameStart - 1);
  return !HasSpacedText(before, "link to") && !HasSpacedText(before, "->");
}

std::optional<std::uint64_t> BytesWrittenFor(std::string_view verboseLine, std::string_view plainLine) {
  const std::int64_t size = ParseMemberSize(verboseLine, plainLine);
  if (size < 0) return std::nullopt;
  if (IsFileEntry(verboseLine, plainLine)) return static_cast<std::uint64_t>(size);
  const bool folderOrSymbolicLink = !verboseLine.empty() && (verboseLine[0] == 'd' || verboseLine[0] == 'l');
  if (size == 0 && folderOrSymbolicLink) return 0;
  return std::nullopt;
}

namespace {

// A key's hash is fed its components and the "/" between them one piece at
// a time, each eight bytes at a time, so two keys spelled alike are fed the
// same pieces and hash alike.
constexpr std::uint64_t kHashStart = 14695981039346656037ULL;
constexpr std::uint64_t kHashMultiplier = 0x9E3779B97F4A7C15ULL;

std::uint64_t Mix(std::uint64_t hash, std::uint64_t word) {
  hash = (hash ^ word) * kHashMultiplier;
  return hash ^ (hash >> 29);
}

std::uint64_t Feed(std::uint64_t hash, std::string_view bytes) {
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data() + i, sizeof word);
    hash = Mix(hash, word);
  }
  // The last 0 to 7 bytes, above the piece's length, which tells "ab", "c"
  // from "a", "bc".
  std::uint64_t last = bytes.size() & 0xFF;
  for (std::size_t shift = 8; i < bytes.size(); ++i, shift += 8) {
    last |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << shift;
  }
  return Mix(hash, last);
}

// A component the matcher keeps: not empty, not ".".
bool IsKeyComponent(std::string_view component) { return !component.empty() && component != "."; }

// 0 marks a free slot and an empty key: a key hashed to it counts as 1.
std::uint64_t Finished(std::uint64_t hash) { return hash == 0 ? 1 : hash; }

void Grow(SoleMatchTally& tally, std::size_t size) {
  std::vector<SoleMatchTally::Slot> old = std::move(tally.slots);
  tally.slots.assign(size, {});
  for (const SoleMatchTally::Slot& slot : old) {
    if (slot.hash == 0) continue;
    std::size_t at = slot.hash & (size - 1);
    while (tally.slots[at].hash != 0) at = (at + 1) & (size - 1);
    tally.slots[at] = slot;
  }
}

// A run this long is no accident in a table at most half full.
constexpr std::size_t kMostProbes = 64;

const SoleMatchTally::Slot* Lookup(const SoleMatchTally& tally, std::uint64_t hash) {
  if (tally.slots.empty()) return nullptr;
  const std::size_t mask = tally.slots.size() - 1;
  std::size_t at = hash & mask;
  for (std::size_t probes = 0; probes <= kMostProbes; ++probes, at = (at + 1) & mask) {
    const SoleMatchTally::Slot& slot = tally.slots[at];
    if (slot.hash == hash) return &slot;
    if (slot.hash == 0) return nullptr;
  }
  return nullptr;
}

// The slot of a key, added when new; null once the table is crowded.
SoleMatchTally::Slot* Add(SoleMatchTally& tally, std::uint64_t hash) {
  if (tally.crowded) return nullptr;
  if ((tally.used + 1) * 2 > tally.slots.size()) Grow(tally, std::max<std::size_t>(1024, tally.slots.size() * 2));
  const std::size_t mask = tally.slots.size() - 1;
  std::size_t at = hash & mask;
  for (std::size_t probes = 0; tally.slots[at].hash != 0 && tally.slots[at].hash != hash; ++probes) {
    if (probes == kMostProbes) {
      tally.crowded = true;
      return nullptr;
    }
    at = (at + 1) & mask;
  }
  SoleMatchTally::Slot& slot = tally.slots[at];
  if (slot.hash == 0) {
    slot.hash = hash;
    ++tally.used;
  }
  return &slot;
}

// Where the line's last key component starts; the line's size when it has none.
std::size_t LastComponentStart(std::string_view line) {
  std::size_t last = line.size();
  for (std::size_t start = 0; start <= line.size();) {
    std::size_t end = FindByte(line, '/', start);
    if (end == kNoByte) end = line.size();
    if (IsKeyComponent(line.substr(start, end - start))) last = start;
    start = end + 1;
  }
  return last;
}

}  // namespace

void ReserveTally(SoleMatchTally& tally, std::size_t entries) {
  std::size_t size = 1024;
  while (size < entries * 4) size *= 2;
  if (size > tally.slots.size()) Grow(tally, size);
}

void TallyEntry(SoleMatchTally& tally, std::string_view plainLine, bool kept) {
  const std::size_t lastStart = LastComponentStart(plainLine);
  const std::string_view above = plainLine.substr(0, lastStart);
  // Members of one folder mostly follow each other: its folders are marked once.
  if (!SameBytes(above, tally.lastAbove)) {
    std::uint64_t hash = kHashStart;
    bool empty = true;
    for (std::size_t start = 0; start < above.size();) {
      std::size_t end = FindByte(above, '/', start);
      if (end == kNoByte) end = above.size();
      const std::string_view component = above.substr(start, end - start);
      if (IsKeyComponent(component)) {
        if (!empty) hash = Feed(hash, "/");
        hash = Feed(hash, component);
        empty = false;
        // The key so far lies above the entry's last component.
        if (SoleMatchTally::Slot* slot = Add(tally, Finished(hash))) slot->hasBelow = true;
      }
      start = end + 1;
    }
    tally.lastAbove.assign(above);
    tally.lastAboveHash = hash;
    tally.lastAboveEmpty = empty;
  }
  std::uint64_t key = 0;
  if (lastStart < plainLine.size()) {
    std::string_view last = plainLine.substr(lastStart);
    last = last.substr(0, FindByte(last, '/'));
    const std::uint64_t start = tally.lastAboveEmpty ? kHashStart : Feed(tally.lastAboveHash, "/");
    key = Finished(Feed(start, last));
    if (SoleMatchTally::Slot* slot = Add(tally, key)) ++slot->entries;
  }
  if (kept) tally.kept.push_back(key);
}

std::vector<bool> SoleMatches(const SoleMatchTally& tally) {
  std::vector<bool> sole;
  if (tally.crowded) return std::vector<bool>(tally.kept.size(), false);
  sole.reserve(tally.kept.size());
  for (const std::uint64_t key : tally.kept) {
    const SoleMatchTally::Slot* slot = key != 0 ? Lookup(tally, key) : nullptr;
    sole.push_back(slot != nullptr && slot->entries == 1 && !slot->hasBelow);
  }
  return sole;
}

std::uint64_t TopLevelKeyHash(std::string_view name) { return Finished(Feed(kHashStart, name)); }

std::wstring_view MemberName(std::wstring_view memberPath) {
  const std::size_t slash = memberPath.rfind(L'/');
  return slash == std::wstring_view::npos ? memberPath : memberPath.substr(slash + 1);
}

std::string_view MemberName(std::string_view memberPath) {
  const std::size_t slash = FindLastByte(memberPath, '/');
  return slash == kNoByte ? memberPath : memberPath.substr(slash + 1);
}

std::string_view MemberFolder(std::string_view memberPath) {
  const std::size_t slash = FindLastByte(memberPath, '/');
  return slash == kNoByte ? std::string_view() : memberPath.substr(0, slash + 1);
}

bool RecordNamesMember(const ArchiveEntryW& record, std::wstring_view memberPath, std::int64_t size) {
  if (record.size != static_cast<std::uint64_t>(size)) return false;
  RecordChar name[kRecordTextUnits];
  CopyToRecordText(name, PlainNameFor(MemberName(memberPath)));
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

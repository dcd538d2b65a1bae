#pragma once
// Which members of a listing are kept, and how they are numbered. The listing
// builder and the extraction both judge members here, so a position always
// names the same member in both. Pure, no Windows header.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interface/records.h"
#include "tool/captured_lines.h"
#include "listing/member_size.h"

namespace qibor {

struct KeptMember {
  std::size_t line;    // index into the plain listing
  std::int64_t size;   // parsed from the verbose listing
};

// Only plain files are members: not folders (some zips store "a/" with
// bytes, an ISO image lists "."), not links (a hard link's bytes belong to
// another entry, and writing it writes through its target), not devices. A
// plain file's verbose line starts with its mode, "-", and ends with its
// name after a space. A hard link's mode also starts with "-", but its line
// goes on with " link to TARGET" (a symbolic link's with " -> TARGET"), and
// a target chosen to end with " NAME" still leaves that text before it.
bool IsFileEntry(std::string_view verboseLine, std::string_view plainLine);

// The bytes the tool writes for an entry on its standard output: a plain
// file's size; nothing for a folder or a symbolic link listed with no size.
// No value for any other entry, whose bytes the listing does not tell: a
// hard link is listed with no size and may still write the bytes a tar
// stores after it, a zip may store a folder with bytes it never writes, a
// device has no size at all.
std::optional<std::uint64_t> BytesWrittenFor(std::string_view verboseLine, std::string_view plainLine);

// Pairs the two listings line for line and calls onLine(line index, plain,
// verbose) for every entry until it returns false. The sources are
// `bool(CapturedLine&)` calls that give the next line of each listing.
template <typename NextPlain, typename NextVerbose, typename OnLine>
void PairListingLines(NextPlain&& nextPlain, NextVerbose&& nextVerbose, OnLine&& onLine) {
  CapturedLine plain;
  CapturedLine verbose;
  for (std::size_t line = 0; nextPlain(plain) && nextVerbose(verbose); ++line) {
    if (!onLine(line, plain, verbose)) return;
  }
}

// Calls onEntry(line index, plain line, verbose line, member) for every
// entry, in order, until it returns false; `member` is null for an entry
// that is not kept. A plain line without a verbose partner has no known size
// and is not kept.
template <typename NextPlain, typename NextVerbose, typename OnEntry>
void PairEveryEntry(NextPlain&& nextPlain, NextVerbose&& nextVerbose, std::int64_t sizeLimit, OnEntry&& onEntry) {
  PairListingLines(nextPlain, nextVerbose, [&](std::size_t line, const CapturedLine& plain, const CapturedLine& verbose) {
    const KeptMember* none = nullptr;
    if (!IsFileEntry(verbose.text, plain.text)) return onEntry(line, plain.text, verbose, none);
    const std::int64_t size = ParseMemberSize(verbose.text, plain.text);
    const KeptMember member{line, size};
    return onEntry(line, plain.text, verbose, IsKeptMember(size, sizeLimit) ? &member : none);
  });
}

// Calls onKept(member, plain line) for each kept member, in order, until it
// returns false.
template <typename NextPlain, typename NextVerbose, typename OnKept>
void PairKeptMembers(NextPlain&& nextPlain, NextVerbose&& nextVerbose, std::int64_t sizeLimit, OnKept&& onKept) {
  PairEveryEntry(nextPlain, nextVerbose, sizeLimit,
                 [&](std::size_t, std::string_view plain, const CapturedLine&, const KeptMember* member) {
                   return member == nullptr || onKept(*member, plain);
                 });
}

// The kept members of two listings held in memory.
std::vector<KeptMember> FindKeptMembers(std::string_view plainOutput, std::string_view verboseOutput,
                                        std::int64_t sizeLimit);

// The path as the tool's matcher compares it: leading "./", empty and "."
// components dropped ("d//b.jpg", "./d/./b.jpg" and "d/b.jpg" are one name
// to it). For the tool's bytes too: "/" and "." are never part of a
// multi-byte character.
template <typename Char>
std::basic_string<Char> MatchKeyOf(std::basic_string_view<Char> memberPath) {
  std::basic_string<Char> key;
  key.reserve(memberPath.size());
  for (std::size_t start = 0; start <= memberPath.size();) {
    std::size_t end = memberPath.find(Char('/'), start);
    if (end == std::basic_string_view<Char>::npos) end = memberPath.size();
    const std::basic_string_view<Char> component = memberPath.substr(start, end - start);
    if (!component.empty() && !(component.size() == 1 && component[0] == Char('.'))) {
      if (!key.empty()) key.push_back(Char('/'));
      key.append(component);
    }
    start = end + 1;
  }
  return key;
}

// Which members are the only entry their own name selects (no other
// spelling, copy or entry below it), so the tool's first match is it. Every
// entry of a listing is counted in order, as it is read; the answer needs
// them all. Names are told apart by a 64-bit hash of their matcher key: two
// names that share a hash count as one, which can only make a member look
// not alone, never alone when it is not.
struct SoleMatchTally {
  struct Slot {
    std::uint64_t hash = 0;   // 0: the slot is free
    std::uint32_t entries = 0;  // entries with this key
    bool hasBelow = false;      // some entry's key goes on below it
  };
  std::vector<Slot> slots;  // open addressing; its size a power of two
  std::size_t used = 0;
  // Names made to crowd one part of the table would make counting slow: past
  // a few probes the tally gives up, and no member counts as alone.
  bool crowded = false;
  std::vector<std::uint64_t> kept;  // per kept member: its key's hash; 0 for an empty key
  // The bytes before the last entry's last component, and the key's hash up
  // to there: its folders are marked once for all members of one folder.
  std::string lastAbove;
  std::uint64_t lastAboveHash = 0;
  bool lastAboveEmpty = true;
};
// Room for about `entries` entries and their folders, so counting does not
// grow the table.
void ReserveTally(SoleMatchTally& tally, std::size_t entries);
// Counts the next entry (a plain listing line); `kept` when it is a kept member.
void TallyEntry(SoleMatchTally& tally, std::string_view plainLine, bool kept);
// Per kept member, in order: whether its own name selects it alone.
std::vector<bool> SoleMatches(const SoleMatchTally& tally);
// The hash the tally gives a name at the top (one component), whose low
// bits pick its slot.
std::uint64_t TopLevelKeyHash(std::string_view name);

// The member's last path component: the text after the last "/". In the
// tool's bytes too: "/" is never part of a multi-byte character.
std::wstring_view MemberName(std::wstring_view memberPath);
std::string_view MemberName(std::string_view memberPath);
// The member's folder: everything up to and including the last "/"; empty
// for a member at the top.
std::string_view MemberFolder(std::string_view memberPath);

// Whether a record of the host's list names this member: the name and size
// the listing builder would give it.
bool RecordNamesMember(const ArchiveEntryW& record, std::wstring_view memberPath, std::int64_t size);

// Seconds since 1970-01-01 UTC from a FILETIME value (100 ns since 1601).
std::int64_t UnixSecondsFromFileTime(std::uint64_t fileTime);

// A kept member's record as the host receives it, all but its path and
// name: the method, the bytes "TAR" and five zeros; its position; its size
// (also as the compressed size) and the archive's time. The CRC stays zero.
void SetMemberFields(ArchiveEntryW& record, std::uint64_t position, std::int64_t size, std::int64_t timestamp);

}  // namespace qibor

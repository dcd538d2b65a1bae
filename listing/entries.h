#pragma once
// Every entry of an archive as the tool lists it: its path exactly as the
// tool printed it (its bytes in the tool's code page), its kind and its
// size, in the order of the listing. Which entries are members, and which
// members their own name selects alone. Pure, no Windows header.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qibor {

enum class EntryKind : std::uint8_t { File, Folder, SymbolicLink, HardLink, Other };

// A plain listing line with its verbose partner. Only plain files are
// members: not folders (some zips store "a/" with bytes, an ISO image lists
// "."), not links (a hard link's bytes belong to another entry), not
// devices. A plain file's verbose line starts with its mode, "-", and ends
// with its path after a space; a hard link's goes on with " link to TARGET",
// a symbolic link's (mode "l") with " -> TARGET", and a target chosen to end
// with " NAME" still leaves that text before it.
EntryKind KindOf(std::string_view verboseLine, std::string_view plainLine);

struct Entries {
  std::string paths;                 // every entry's path, one after the other
  std::vector<std::uint32_t> ends;   // where each one's path ends in `paths`
  std::vector<std::int64_t> sizes;   // as the verbose listing gives them
  std::vector<EntryKind> kinds;
};

void AddEntry(Entries& entries, std::string_view plainLine, std::string_view verboseLine);
std::string_view PathOf(const Entries& entries, std::size_t entry);
inline std::size_t EntryCount(const Entries& entries) { return entries.kinds.size(); }

// The bytes the tool writes for an entry on its standard output: a plain
// file's size; nothing for a folder or a symbolic link listed with no size.
// No value for any other entry, whose bytes the listing does not tell: a
// hard link is listed with no size and may still write the bytes a tar
// stores after it, a zip may store a folder with bytes it never writes, a
// device has no size at all.
std::optional<std::uint64_t> BytesWrittenFor(EntryKind kind, std::int64_t size);

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

// Per member (the entries given, in order): whether its own name selects it
// alone, so the tool's first match for it is it: no other entry has that
// name in any spelling, none lies below it, and no "?" in it stands for a
// unit the code page cannot show.
std::vector<bool> SoleMatches(const Entries& entries, const std::vector<std::uint32_t>& members);

// The member's last path component: the text after the last "/", which is
// never part of a multi-byte character. Its folder: everything up to and
// including that "/"; empty for a member at the top.
std::wstring_view MemberName(std::wstring_view memberPath);
std::wstring_view MemberFolder(std::wstring_view memberPath);

}  // namespace qibor

#pragma once
// Finding the member a fetch names in fresh listings, and the run of the
// tool that writes it: alone where its argument can select it so, else a
// pass over every entry, which gives it by its place. The tool prints names
// in the user's code page ("?" for a unit it cannot show, look-alikes for
// others) but matches its argument against the real names, so where the
// printed names leave a doubt, a listing of what the argument selects
// settles it.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "extract/entry_stream.h"
#include "interface/records.h"

namespace qibor {

struct ListingCaptures;

// The kept member a record names in fresh listings.
struct NamedMember {
  std::string path;  // as the tool printed it, its bytes
  std::int64_t size = 0;
  std::size_t line = 0;  // its entry's place in the listing
};

// The kept member the record names (its size and the path its list was made
// with, `listedPath`; at its position, else the only other one). None when
// it is gone or cannot be told from another.
std::optional<NamedMember> FindNamedMember(ListingCaptures& captures, const ArchiveEntryW& record,
                                           const std::string& listedPath, std::int64_t sizeLimit);

// The one run that writes the member and no entry the listings cannot
// account for (copies of its name before it, files within `sizeLimit`, may
// come first); none when no argument selects it so.
std::optional<EntryRun> RunSelecting(const std::wstring& toolPath, const std::wstring& archivePath,
                                     ListingCaptures& captures, const NamedMember& member, std::int64_t sizeLimit);

// The run that writes every entry, the member taken by its place; none when
// an entry writes bytes the listing does not tell (BytesWrittenFor).
std::optional<EntryRun> PassTo(const std::wstring& toolPath, ListingCaptures& captures, const NamedMember& member);

}  // namespace qibor

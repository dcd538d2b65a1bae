#pragma once
// Which run of the tool writes a member: alone where its argument can
// select it so, else a pass over every entry, which gives it by its place.
// The tool prints names in the user's code page ("?" for a unit it cannot
// show, look-alikes for others) but matches its argument against the real
// names, so where the printed names leave a doubt, a listing of what the
// argument selects settles it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extract/entry_stream.h"
#include "listing/listing.h"
#include "tool/run_tool.h"

namespace qibor {

// The run of a member whose own name selects it alone (a sole match).
EntryRun AloneRun(const std::wstring& toolPath, const ArchiveList& list, std::size_t member);

// The one run that writes the member and no entry the listing cannot
// account for (copies of its name before it, files within `sizeLimit`, may
// come first); none when no argument selects it so.
std::optional<EntryRun> RunSelecting(const ArchiveRuns& runs, const ArchiveList& list, std::size_t member,
                                     std::int64_t sizeLimit);

// The run that writes every entry, the member taken by its place; none when
// an entry writes bytes the listing does not tell (BytesWrittenFor).
std::optional<EntryRun> PassTo(const std::wstring& toolPath, const ArchiveList& list, std::size_t member);

// Of the members `alike`, the one stored under exactly `path` ("/" between
// levels), where the tool's own matching of that path, which compares the
// stored names, tells it; none when it cannot tell.
std::optional<std::size_t> MemberStoredAs(const ArchiveRuns& runs, const ArchiveList& list, std::wstring_view path,
                                          const std::vector<std::size_t>& alike);

}  // namespace qibor

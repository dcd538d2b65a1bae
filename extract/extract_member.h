#pragma once
// Getting one member's bytes through the tool's standard output, into the
// host's block or the host's new file. The tool never writes a file named by
// the archive.
#include <cstdint>
#include <functional>

#include "extract/entry_stream.h"
#include "listing/listing.h"
#include "tool/run_tool.h"

namespace qibor {

// The one run of a member its own name selects alone, on the archive the
// list was made of. `whileRunning`, when given, runs while the tool does
// (the slow part of checking that the archive is the one listed); its false
// stops the run and nothing is delivered. 0 on delivery; otherwise 6 (9
// when the file could not be written).
ResultCode ExtractAlone(const ArchiveRuns& runs, const ArchiveList& list, std::size_t member, const EntrySink& sink,
                        const std::function<bool()>& whileRunning = {});

// Has the tool write the member of a list just made: alone where one run
// can, else in a pass over every entry. 0 on delivery; otherwise 6 (9 when
// the file could not be written).
ResultCode ExtractMember(const ArchiveRuns& runs, const ArchiveList& list, std::size_t member,
                         std::int64_t sizeLimit, const EntrySink& sink);

}  // namespace qibor

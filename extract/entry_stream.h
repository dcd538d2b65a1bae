#pragma once
// Taking one entry's bytes out of a run of the tool that writes entries on
// its standard output, one after the other, and its "x NAME" lines on its
// error stream. The bytes count only as far as those lines confirm them:
// every entry up to the one taken must have its line, in order, with no
// reason after it. Each entry's bytes are taken to be as many as it was
// listed with: the tool writes a file's whole size or reports a failure,
// and every run is read to its end, where the bytes must add up.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "interface/records.h"
#include "tool/run_tool.h"

namespace qibor {

// The entries a run writes, in order, and which of them is taken.
struct EntryRun {
  std::wstring commandLine;
  std::vector<std::string> names;    // each entry's "x" name (ExtractedEntryName)
  std::vector<std::uint64_t> sizes;  // its bytes, as listed
  std::size_t target = 0;
  // The run writes no entry past these: when all are confirmed, their bytes
  // must add up to what it wrote.
  bool coversAll = true;
};

// Where the target's bytes go: the host's block of exactly their size, or
// the host's new file, written from its start.
struct EntrySink {
  unsigned char* block = nullptr;
  HANDLE file = nullptr;
};

// Runs `run` on the archive and takes the target's bytes into the sink.
// `whileRunning`, when given, is called once the run has started; its false
// stops the run. 0 when the bytes are the target's, whole; otherwise 6 (9
// when the file could not be written), and what went to the sink is not
// the member.
ResultCode TakeEntry(const ArchiveRuns& runs, const EntryRun& run, const EntrySink& sink,
                     const std::function<bool()>& whileRunning = {});

}  // namespace qibor

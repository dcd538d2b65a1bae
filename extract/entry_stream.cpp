#include "extract/entry_stream.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "extract/written_entries.h"
#include "floor/files.h"
#include "tool/captures.h"
#include "tool/run_tool.h"
#include "tool/captured_lines.h"

namespace qibor {
namespace {

// Bytes that are not the target's are read this much at a time.
constexpr DWORD kScratchBytes = 1u << 20;
// The target's own bytes are read straight into the host's block, at most
// this much a call.
constexpr std::uint64_t kBlockPieceBytes = 1u << 24;

std::uint64_t SaturatingSum(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

bool WriteWhole(HANDLE file, const unsigned char* bytes, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(file, bytes, size, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

// Where the target's bytes lie in the run's output.
struct Span {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::uint64_t total = 0;  // all the entries' bytes
};

Span SpanOf(const EntryRun& run) {
  Span span;
  for (std::size_t i = 0; i < run.sizes.size(); ++i) {
    if (i < run.target) span.start = SaturatingSum(span.start, run.sizes[i]);
    span.total = SaturatingSum(span.total, run.sizes[i]);
  }
  span.end = SaturatingSum(span.start, run.sizes[run.target]);
  return span;
}

}  // namespace

ResultCode TakeEntry(const ArchiveRuns& runs, const EntryRun& run, const EntrySink& sink,
                     const std::function<bool()>& whileRunning) {
  if (run.target >= run.names.size() || run.names.size() != run.sizes.size()) return ReadError;
  if ((sink.block == nullptr) == (sink.file == nullptr)) return ReadError;
  const Span span = SpanOf(run);
  // A file gets the target's bytes from its start, whatever an earlier run wrote.
  const LARGE_INTEGER fileStart{};
  if (sink.file != nullptr && (!SetFilePointerEx(sink.file, fileStart, nullptr, FILE_BEGIN) || !SetEndOfFile(sink.file))) {
    return WriteError;
  }

  // The bytes go to a capture, read as the run writes it: under Wine a pipe
  // moves each of the tool's writes through its server, ten times slower.
  const UniqueHandle messages = MakeCapture(runs.folder, Capture::Extraction);
  const UniqueHandle output = MakeCapture(runs.folder, Capture::Entries);
  const UniqueHandle reader = output.valid() ? ReopenForReading(output.get()) : UniqueHandle();
  if (!messages.valid() || !reader.valid()) return ReadError;
  RunningTool tool = StartOnArchive(runs.folder, run.commandLine, runs.archive, output.get(), messages.get());
  if (!tool.started()) return ReadError;
  if (whileRunning && !whileRunning()) {
    tool.Stop();
    return ReadError;
  }
  const auto scratch = std::make_unique<unsigned char[]>(kScratchBytes);

  std::uint64_t read = 0;
  bool complete = false;  // the run's output came to its end
  bool writeFailed = false;
  for (;;) {
    // A piece never reaches across the target's start or end.
    unsigned char* into = scratch.get();
    std::uint64_t room = kScratchBytes;
    if (read < span.start) {
      room = std::min(room, span.start - read);
    } else if (read < span.end && sink.block != nullptr) {
      into = sink.block + (read - span.start);
      room = std::min(kBlockPieceBytes, span.end - read);
    } else if (read < span.end) {
      room = std::min(room, span.end - read);
    }
    const DWORD got = ReadRunOutput(reader.get(), tool, into, static_cast<DWORD>(room));
    if (got == 0) {
      complete = true;
      break;
    }
    if (sink.file != nullptr && read >= span.start && read < span.end && !WriteWhole(sink.file, into, got)) {
      writeFailed = true;
      break;
    }
    read += got;
    if (run.coversAll && read > span.total) break;  // more than the entries hold
  }
  if (!complete) {
    tool.Stop();
    return writeFailed ? WriteError : ReadError;
  }
  tool.Wait();
  const std::optional<std::string> messageText = ReadFromStart(messages.get());
  if (!messageText) return ReadError;
  EntryTally tally{run.names, 0, false};
  std::string_view rest = *messageText;
  CapturedLine line;
  while (TakeCapturedLine(rest, line)) TallyMessageLine(tally, line.text);
  if (tally.failed || tally.confirmed <= run.target || read < span.end) return ReadError;
  // Every entry confirmed: an entry that wrote other than its listed size
  // would have moved the target's bytes, and the sum shows it.
  if (run.coversAll && tally.confirmed == run.names.size() && read != span.total) return ReadError;
  return Success;
}

}  // namespace qibor

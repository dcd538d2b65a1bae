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

// Reads the run's output to its end, the target's bytes into the sink.
// ReadError when the run wrote more than the entries hold (it is then
// stopped), WriteError when the file could not be written.
ResultCode ReadOutput(HANDLE reader, RunningTool& tool, const EntryRun& run, const Span& span, const EntrySink& sink,
                      std::uint64_t& read) {
  const auto scratch = std::make_unique<unsigned char[]>(kScratchBytes);
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
    const DWORD got = ReadRunOutput(reader, tool, into, static_cast<DWORD>(room));
    if (got == 0) return Success;
    const bool target = read >= span.start && read < span.end;
    read += got;
    if (sink.file != nullptr && target && !WriteWhole(sink.file, into, got)) {
      tool.Stop();
      return WriteError;
    }
    if (run.coversAll && read > span.total) {  // more than the entries hold
      tool.Stop();
      return ReadError;
    }
  }
}

// Whether the run's messages confirm every entry up to the target and,
// when they confirm all, the bytes add up: an entry that wrote other than
// its listed size would have moved the target's.
bool MessagesConfirm(HANDLE messages, const EntryRun& run, const Span& span, std::uint64_t read) {
  const std::optional<std::string> text = ReadFromStart(messages);
  if (!text) return false;
  EntryTally tally{run.names, 0, false};
  std::string_view rest = *text;
  CapturedLine line;
  while (TakeCapturedLine(rest, line)) TallyMessageLine(tally, line.text);
  if (tally.failed || tally.confirmed <= run.target || read < span.end) return false;
  return !(run.coversAll && tally.confirmed == run.names.size() && read != span.total);
}

}  // namespace

ResultCode TakeEntry(const ArchiveRuns& runs, const EntryRun& run, const EntrySink& sink,
                     const std::function<bool()>& whileRunning) {
  if (run.target >= run.names.size() || run.names.size() != run.sizes.size()) return ReadError;
  if ((sink.block == nullptr) == (sink.file == nullptr)) return ReadError;
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
  const Span span = SpanOf(run);
  std::uint64_t read = 0;
  const ResultCode result = ReadOutput(reader.get(), tool, run, span, sink, read);
  if (result != Success) return result;
  tool.Wait();
  return MessagesConfirm(messages.get(), run, span, read) ? Success : ReadError;
}

}  // namespace qibor

#include "extract/read_ahead.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "extract/member_selection.h"
#include "extract/written_entries.h"
#include "floor/files.h"
#include "interface/settings.h"
#include "tool/captured_lines.h"
#include "tool/run_tool.h"
#include "tool/work_folder.h"

namespace qibor {
namespace {

// The tool decodes this far ahead of the last fetch, then waits for the next.
constexpr DWORD kPipeBytes = 4u << 20;
constexpr DWORD kMessageBytes = 64u << 10;
constexpr DWORD kPieceBytes = 1u << 20;

bool SamePath(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

}  // namespace

// The run's output pipes are polled, not waited on: the tool writes its
// "x" lines to one and the entries' bytes to the other, and a wait on
// either could wait for ever while the tool waits for room in the other.
struct ReadAhead::Pass {
  EntryRun run;  // every entry's "x" name and bytes, in listing order
  UniqueHandle archive;
  RunningTool tool;       // made before the pipes, so they close first and a
  UniqueHandle output;    // tool waiting to write ends instead of being waited for
  UniqueHandle messages;
  std::string pending;    // the start of a message line not ended yet
  EntryTally tally;
  std::size_t next = 0;  // the entry whose bytes come next
  bool failed = false;   // an entry before `next` failed, or the output ended short
  std::unique_ptr<unsigned char[]> scratch{new unsigned char[kPieceBytes]};

  // Takes the message lines the run has ended; once it has ended itself,
  // the rest too. False when the messages cannot be read.
  bool TakeMessages(bool ended) {
    char piece[4096];
    for (DWORD waiting = 0; PeekNamedPipe(messages.get(), nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0;) {
      DWORD read = 0;
      if (!ReadFile(messages.get(), piece, std::min<DWORD>(waiting, sizeof piece), &read, nullptr)) return false;
      pending.append(piece, read);
    }
    std::string_view rest = pending;
    CapturedLine line;
    while (rest.find('\n') != std::string_view::npos && TakeCapturedLine(rest, line)) TallyMessageLine(tally, line.text);
    if (ended && TakeCapturedLine(rest, line)) TallyMessageLine(tally, line.text);
    pending.erase(0, pending.size() - rest.size());
    return true;
  }

  // Reads the next `size` bytes of the output into the sink (into nothing
  // when it has neither a block nor a file).
  ResultCode ReadBytes(std::uint64_t size, const EntrySink& sink) {
    for (std::uint64_t done = 0; done < size;) {
      DWORD waiting = 0;
      if (!PeekNamedPipe(output.get(), nullptr, 0, nullptr, &waiting, nullptr)) return ReadError;
      if (waiting == 0) {
        if (!TakeMessages(false)) return ReadError;
        tool.EndsWithin(1);  // once ended, the pipe shows its end at the next look
        continue;
      }
      const auto room = static_cast<DWORD>(std::min<std::uint64_t>({size - done, kPieceBytes, waiting}));
      unsigned char* into = sink.block != nullptr ? sink.block + done : scratch.get();
      DWORD got = 0;
      if (!ReadFile(output.get(), into, room, &got, nullptr) || got == 0) return ReadError;
      if (sink.file != nullptr && !WriteWhole(sink.file, into, got)) return WriteError;
      done += got;
    }
    return Success;
  }

  // Waits for the entry's "x" line to come whole; false when it does not.
  bool Confirm(std::size_t entry) {
    for (bool ended = false;; ended = tool.EndsWithin(1)) {
      if (!TakeMessages(ended) || tally.failed) return false;
      if (tally.confirmed > entry) return true;
      if (ended) return false;
    }
  }
};

struct ReadAhead::State {
  std::unique_ptr<Pass> pass;
  std::wstring archivePath;
  std::shared_ptr<const ArchiveList> list;  // the list the pass and the kept members belong to
  struct Kept {
    std::size_t entry;
    UniqueLocal block;
  };
  std::vector<Kept> kept;  // oldest first
  std::uint64_t keptBytes = 0;
};

ReadAhead::ReadAhead() : state_(std::make_unique<State>()) {}

ReadAhead::~ReadAhead() { End(); }

UniqueLocal ReadAhead::Take(const std::wstring& archivePath, const ArchiveList& list, std::size_t member) {
  State& state = *state_;
  if (state.list.get() != &list || !SamePath(archivePath, state.archivePath) || member >= list.members.size()) {
    return {};
  }
  const std::size_t entry = list.members[member];
  const auto kept = std::find_if(state.kept.begin(), state.kept.end(), [&](const State::Kept& k) { return k.entry == entry; });
  if (kept == state.kept.end()) return {};
  UniqueLocal block = std::move(kept->block);
  state.keptBytes -= LocalSize(block.get());
  state.kept.erase(kept);
  return block;
}

ResultCode ReadAhead::Reach(const Settings& settings, const std::wstring& archivePath,
                            const std::shared_ptr<const ArchiveList>& list, std::size_t member, const EntrySink& sink) {
  if (!state_ || !list || member >= list->members.size() || settings.cacheMB < 0) return ReadError;
  State& state = *state_;
  const std::size_t entry = list->members[member];
  if (!state.pass || state.list != list || !SamePath(archivePath, state.archivePath)) {
    if (!StartPass(settings, archivePath, list)) return ReadError;
  } else if (state.pass->failed || state.pass->next > entry) {
    return ReadError;  // passed it: it comes alone
  }
  return Advance(entry, static_cast<std::uint64_t>(settings.cacheMB) << 20, sink);
}

bool ReadAhead::StartPass(const Settings& settings, const std::wstring& archivePath,
                          const std::shared_ptr<const ArchiveList>& list) {
  End();
  State& state = *state_;
  state.archivePath = archivePath;
  state.list = list;
  std::optional<EntryRun> run = PassTo(ToolExePath(settings), *list, 0);
  // Its current folder: not the request's, which goes as the request ends.
  const std::wstring folder = WorkDirectory();
  if (!run || folder.empty()) return false;
  auto pass = std::make_unique<Pass>();
  pass->run = std::move(*run);
  pass->tally = EntryTally{pass->run.names, 0, false};
  // The pass reads the very file that was listed.
  pass->archive = OpenArchive(archivePath);
  if (!pass->archive.valid() || OriginOf(pass->archive.get(), settings) != list->origin) return false;
  // Pipes, not captures: the pass goes on after its fetch, and leaves
  // nothing in the work folder.
  UniqueHandle outputEnd;
  UniqueHandle messagesEnd;
  if (!CreateOutputPipe(pass->output, outputEnd, kPipeBytes) ||
      !CreateOutputPipe(pass->messages, messagesEnd, kMessageBytes)) {
    return false;
  }
  pass->tool = StartOnArchive(folder, pass->run.commandLine, pass->archive.get(), outputEnd.get(), messagesEnd.get());
  if (!pass->tool.started()) return false;
  state.pass = std::move(pass);
  return true;
}

ResultCode ReadAhead::Advance(std::size_t entry, std::uint64_t keepBytes, const EntrySink& sink) {
  Pass& pass = *state_->pass;
  const std::vector<std::uint32_t>& members = state_->list->members;
  while (!pass.failed && pass.next <= entry) {
    const std::size_t current = pass.next;
    const std::uint64_t size = pass.run.sizes[current];
    UniqueLocal block;
    const bool member = std::binary_search(members.begin(), members.end(), static_cast<std::uint32_t>(current));
    if (current != entry && member && size > 0 && size <= keepBytes) block.reset(LocalAlloc(LMEM_FIXED, size));
    const EntrySink into = current == entry ? sink : EntrySink{block.as<unsigned char>(), nullptr};
    const ResultCode read = pass.ReadBytes(size, into);
    if (read == WriteError) return WriteError;
    if (read != Success || !pass.Confirm(current)) {
      pass.failed = true;
      break;
    }
    if (block) Keep(current, std::move(block), keepBytes);
    ++pass.next;
  }
  return pass.failed ? ReadError : Success;
}

void ReadAhead::Keep(std::size_t entry, UniqueLocal block, std::uint64_t keepBytes) {
  State& state = *state_;
  state.keptBytes += LocalSize(block.get());
  state.kept.push_back(State::Kept{entry, std::move(block)});
  // What does not fit goes, oldest first.
  while (state.keptBytes > keepBytes && !state.kept.empty()) {
    state.keptBytes -= LocalSize(state.kept.front().block.get());
    state.kept.erase(state.kept.begin());
  }
}

void ReadAhead::End() {
  if (!state_) return;
  if (state_->pass) {
    state_->pass->output.reset();
    state_->pass->tool.Stop();
  }
  *state_ = State{};
}

void ReadAhead::Abandon(bool processEnding) {
  if (!state_) return;
  if (state_->pass) state_->pass->tool.Kill();
  // Other threads may have died holding the heap's lock: nothing is freed.
  if (processEnding) {
    static_cast<void>(state_.release());
  } else {
    End();
  }
}

namespace {
ReadAhead g_readAhead;
}  // namespace

ReadAhead& TheReadAhead() { return g_readAhead; }

}  // namespace qibor

#pragma once
// Runs the tar tool hidden in the request's folder, reading the archive on
// its standard input from a handle qibor opened: no path reaches the tool as
// text, so a name outside the ANSI code page never reaches it as another
// file's name.
#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "floor/unique_any.h"
#include "tool/captures.h"

namespace qibor {

// A tool run that has started. Its owner waits for it, at the latest when
// the owner goes, so no run outlives the request that started it.
class RunningTool {
 public:
  RunningTool() = default;
  explicit RunningTool(HANDLE process) : process_(process) {}
  RunningTool(RunningTool&&) = default;
  RunningTool& operator=(RunningTool&& other) noexcept {
    Wait();
    process_ = std::move(other.process_);
    return *this;
  }
  ~RunningTool() { Wait(); }
  bool started() const { return process_.valid(); }
  void Wait() {
    if (!process_.valid()) return;
    WaitForSingleObject(process_.get(), INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process_.get(), &code)) exitCode_ = code;
    process_.reset();
  }
  // Waits up to `milliseconds` for the run to end; true once it has.
  bool EndsWithin(DWORD milliseconds) {
    if (process_.valid() && WaitForSingleObject(process_.get(), milliseconds) == WAIT_TIMEOUT) return false;
    Wait();
    return true;
  }
  // Ends the run at once and lets it go without a wait, as the module's
  // unload must.
  void Kill() {
    if (process_.valid()) TerminateProcess(process_.get(), 1);
    process_.reset();
  }
  // Ends the run at once, for output that is no longer wanted, and waits for it.
  void Stop() {
    if (process_.valid()) TerminateProcess(process_.get(), 1);
    Wait();
  }
  // The run's exit code once it has been waited for; 1 when unknown.
  DWORD exitCode() const { return exitCode_; }

 private:
  UniqueHandle process_;
  DWORD exitCode_ = 1;
};

// What every run of one request on one archive needs: the request's folder
// (the runs' current folder, holding their captures), the tool, and the
// archive open for them.
struct ArchiveRuns {
  std::wstring folder;
  std::wstring tool;
  HANDLE archive = nullptr;
};

// The archive opened for runs to read: inheritable, sharing reads and
// (unless told not to) writes, as the tool itself would.
enum class Writers { Allowed, KeptOut };
UniqueHandle OpenArchive(const std::wstring& path, Writers writers = Writers::Allowed);
// A second handle on the same open file, with a file position of its own,
// for a run that goes beside another.
UniqueHandle ReopenArchive(HANDLE archive);

// Starts the command line hidden in `folder`, with no console, reading the
// archive from its start on its standard input and writing to `output` and
// `errors` (null: nowhere), all three inheritable and the only handles the
// run inherits. Not started when a handle is missing or the command line is
// too long.
RunningTool StartOnArchive(const std::wstring& folder, const std::wstring& commandLine, HANDLE archive,
                           HANDLE output, HANDLE errors);

// Reads what a run has written to its output so far, through a handle of
// qibor's own on the capture (ReopenForReading), up to `room` bytes,
// waiting while the run writes more; 0 once the run has ended and all it
// wrote is read, or a read failed.
DWORD ReadRunOutput(HANDLE output, RunningTool& run, void* into, DWORD room);

// What a short run wrote: its standard output (its error stream too, when
// asked), and whether it exited with 0.
struct RunOutput {
  std::string text;
  bool exitedWell = false;
};
// Runs the command line on the archive into a fresh capture of that kind,
// waits for it and reads the capture back. None when the run cannot start
// or its output cannot be read.
std::optional<RunOutput> RunForOutput(const std::wstring& folder, const std::wstring& commandLine, HANDLE archive,
                                      Capture capture, bool withErrors);

}  // namespace qibor

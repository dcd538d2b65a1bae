#pragma once
// Runs the tar tool hidden, in the request's folder, its output captured in
// a file there, and reads that output back.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "floor/unique_any.h"

namespace qibor {

enum class ErrorStream { Discard, Capture };

// A tool run that has started. Its owner waits for it, at the latest when
// the owner goes, so no run outlives the request that started it: the next
// run would share its capture files.
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
  // The running process, to wait on beside other work; null once waited for.
  HANDLE process() const { return process_.get(); }
  void Wait() {
    if (!process_.valid()) return;
    WaitForSingleObject(process_.get(), INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process_.get(), &code)) exitCode_ = code;
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

// Starts the command line hidden in `folder`, with no console, reading
// `input` on its standard input and writing to `output` and `errors` (null:
// nowhere), all three inheritable and the only handles the run inherits.
// Not started when a handle is missing or the command line is too long.
RunningTool StartHiddenIn(const std::wstring& folder, const std::wstring& commandLine, HANDLE input, HANDLE output,
                          HANDLE errors);

// Starts the command line hidden, in the request's folder, reading the
// archive on its standard input through a handle opened here, with its
// standard output (and, if asked, its error stream) going to a fresh capture
// file. No path reaches the tool as text: a name outside the ANSI code page
// would reach it as another file's name. Not started when the archive, the
// capture file or the tool cannot be opened, or outside a request.
RunningTool StartHidden(const std::wstring& commandLine, const std::wstring& archivePath,
                        const std::wstring& capturePath, ErrorStream errors);
// An archive opened for a run's standard input: inheritable, sharing reads
// and (unless told not to) writes, as the tool itself would.
enum class Writers { Allowed, KeptOut };
UniqueHandle OpenArchiveInput(const std::wstring& path, Writers writers = Writers::Allowed);
// StartHidden and wait; false when the run cannot start. The exit code goes
// to exitCode when given.
bool RunHidden(const std::wstring& commandLine, const std::wstring& archivePath, const std::wstring& capturePath,
               ErrorStream errors, DWORD* exitCode = nullptr);

// Runs the command line hidden, reads its capture file back whole, through
// the handle the run wrote, and the file goes as that closes. For short
// outputs; listings are read line by line. No value
// when the tool cannot be started or its output cannot be read.
std::optional<std::string> CaptureToolOutput(const std::wstring& commandLine, const std::wstring& archivePath,
                                             const std::wstring& capturePath, ErrorStream errors);

// CaptureToolOutput for a run reading an archive handle the caller opened
// (inheritable, at its start), so the run reads the very file it checked.
// `whileRunning`, when given, is called once the run has started; its false
// stops the run, and no output is read.
std::optional<std::string> CaptureToolOutputOn(const std::wstring& commandLine, HANDLE archive,
                                               const std::wstring& capturePath, ErrorStream errors,
                                               const std::function<bool()>& whileRunning = {});

}  // namespace qibor

#pragma once
// Runs the tar tool hidden, its output captured in a file of the work folder,
// and reads that output back.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "interface/win_owners.h"
#include "listing/captured_lines.h"

namespace qibor {

// The capture files, in the folder of the request being served; empty
// outside a request.
std::wstring PlainListingFile();
std::wstring VerboseListingFile();
std::wstring ExtractionOutputFile();
std::wstring SelectionListingFile();
std::wstring VerboseErrorsFile();

// Quotes one argument so that the C runtime's parser gives it back unchanged.
std::wstring QuoteArgument(std::wstring_view argument);

// "TOOL" tf - and "TOOL" tvf -: the archive comes on standard input.
std::wstring PlainListingCommand(const std::wstring& toolPath);
std::wstring VerboseListingCommand(const std::wstring& toolPath);

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
  void Wait() {
    if (!process_.valid()) return;
    WaitForSingleObject(process_.get(), INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process_.get(), &code)) exitCode_ = code;
    process_.reset();
  }
  // The run's exit code once it has been waited for; 1 when unknown.
  DWORD exitCode() const { return exitCode_; }

 private:
  UniqueHandle process_;
  DWORD exitCode_ = 1;
};

// Starts the command line hidden, in the request's folder, reading the
// archive on its standard input through a handle opened here, with its
// standard output (and, if asked, its error stream) going to a fresh capture
// file. No path reaches the tool as text: a name outside the ANSI code page
// would reach it as another file's name. Not started when the archive, the
// capture file or the tool cannot be opened, or outside a request.
RunningTool StartHidden(const std::wstring& commandLine, const std::wstring& archivePath,
                        const std::wstring& capturePath, ErrorStream errors);
// The same with the error stream going to a capture of its own.
RunningTool StartHiddenWithErrors(const std::wstring& commandLine, const std::wstring& archivePath,
                                  const std::wstring& capturePath, const std::wstring& errorsPath);
// The same reading an archive handle the caller opened (inheritable, at its
// start), so the run reads the very file the caller checked.
RunningTool StartHiddenOn(const std::wstring& commandLine, HANDLE archive, const std::wstring& capturePath,
                          ErrorStream errors);
// An archive opened for a run's standard input: inheritable, sharing reads
// and (unless told not to) writes, as the tool itself would.
enum class Writers { Allowed, KeptOut };
UniqueHandle OpenArchiveInput(const std::wstring& path, Writers writers = Writers::Allowed);
// StartHidden and wait; false when the run cannot start. The exit code goes
// to exitCode when given.
bool RunHidden(const std::wstring& commandLine, const std::wstring& archivePath, const std::wstring& capturePath,
               ErrorStream errors, DWORD* exitCode = nullptr);

// Runs the command line hidden, reads its capture file back whole and
// deletes it. For short outputs; listings are read line by line. No value
// when the tool cannot be started or its output cannot be read.
std::optional<std::string> CaptureToolOutput(const std::wstring& commandLine, const std::wstring& archivePath,
                                             const std::wstring& capturePath, ErrorStream errors);

// CaptureToolOutput for a run reading an archive handle the caller opened.
std::optional<std::string> CaptureToolOutputOn(const std::wstring& commandLine, HANDLE archive,
                                               const std::wstring& capturePath, ErrorStream errors);

// A capture file read line by line.
struct CaptureStream {
  UniqueHandle file;
  LineReader lines;
  bool failed = false;  // a read failed: the lines stopped short
};

// Opens a capture file for reading; false when it cannot be opened.
bool OpenCapture(const std::wstring& path, CaptureStream& stream);
// The next whole line, valid until the stream is used again; false at the
// end, or on a failed read, which also sets `failed`.
bool ReadLine(CaptureStream& stream, CapturedLine& line);
// Back to the first line; false when the file cannot be rewound.
bool RewindCapture(CaptureStream& stream);

// Opens a file for reading, retrying while another process briefly holds it.
UniqueHandle OpenForReading(const std::wstring& path);
// Reads exactly `size` bytes from the file's position; false on a failed or
// short read.
bool ReadExactly(HANDLE file, void* bytes, std::uint64_t size);
// Reads a whole file, retrying while another process briefly holds it.
std::optional<std::string> ReadWholeFile(const std::wstring& path);
// Deletes a file, retrying while another process briefly holds it. True when
// the file is gone.
bool DeleteFileRetrying(const std::wstring& path);

// The code page the tool writes its output in: UTF-8 under Windows'
// system-wide UTF-8 setting, else the user's default ANSI code page.
UINT ToolOutputCodePage();
std::wstring DecodeToolText(std::string_view bytes, UINT codePage);
// The same into `text`, reusing its storage.
void DecodeToolTextInto(std::string_view bytes, UINT codePage, std::wstring& text);

}  // namespace qibor

#include "tool/run_tool.h"

#include <memory>
#include <utility>

#include "floor/files.h"
#include "floor/retry.h"
#include "tool/work_folder.h"

namespace qibor {
namespace {

// A start that fails for a passing reason is tried three more times, 100 ms apart.
constexpr RetryBudget kPassingStart{300, 100};

}  // namespace

// Each run reads through a handle of its own: two runs going at once must
// not share a file position. Writers may hold the archive, as they may when
// the tool opens it itself.
UniqueHandle OpenArchiveInput(const std::wstring& path, Writers writers) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const DWORD share = writers == Writers::Allowed ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, share, &inheritable, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

RunningTool StartHiddenIn(const std::wstring& folder, const std::wstring& commandLine, HANDLE input, HANDLE output,
                          HANDLE errors) {
  // CreateProcessW's limit for a command line, terminator included.
  if (commandLine.empty() || commandLine.size() >= 32768 || folder.empty()) return {};
  if (input == nullptr || input == INVALID_HANDLE_VALUE || output == nullptr || output == INVALID_HANDLE_VALUE) {
    return {};
  }
  // Only these handles are handed to the child, not every inheritable
  // handle the host happens to have open.
  HANDLE inherited[3] = {input, output, errors};
  const DWORD handleCount = (errors != nullptr && errors != output) ? 3 : 2;
  SIZE_T attributeSize = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
  auto attributeStorage = std::make_unique<unsigned char[]>(attributeSize);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeStorage.get());
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize)) return {};
  const bool listed = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                handleCount * sizeof(HANDLE), nullptr, nullptr) != FALSE;

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = output;
  startup.StartupInfo.hStdError = errors;
  startup.lpAttributeList = listed ? attributes : nullptr;

  std::wstring writable = commandLine;
  PROCESS_INFORMATION process{};
  // No console at all: the tool needs none, a console host would hold the
  // capture file open for a while after the tool exits, and a tool asking
  // for a passphrase on a hidden console would wait forever.
  const DWORD flags = DETACHED_PROCESS | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0);
  const auto started = RetryWhilePassing(kPassingStart, IsPassingStartError, [&] {
    const bool made = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                     folder.c_str(), &startup.StartupInfo, &process) != FALSE;
    return std::make_pair(made, 0);
  });
  DeleteProcThreadAttributeList(attributes);
  if (!started.first) return {};
  // The child holds its own copies of the handles; ours close here.
  const UniqueHandle thread(process.hThread);
  RunningTool run(process.hProcess);
  // While the tool loads, the request's leftover sweep costs no wait.
  SweepLeftoversOfThisRequest();
  return run;
}

RunningTool StartHidden(const std::wstring& commandLine, const std::wstring& archivePath,
                        const std::wstring& capturePath, ErrorStream errors) {
  const std::wstring& folder = CurrentRequestFolder();
  if (capturePath.empty() || folder.empty()) return {};
  const UniqueHandle input = OpenArchiveInput(archivePath);
  const UniqueHandle capture = CreateFresh(capturePath, Inheritable::Yes);
  if (!capture.valid()) return {};
  return StartHiddenIn(folder, commandLine, input.get(), capture.get(),
                       errors == ErrorStream::Capture ? capture.get() : nullptr);
}

bool RunHidden(const std::wstring& commandLine, const std::wstring& archivePath, const std::wstring& capturePath,
               ErrorStream errors, DWORD* exitCode) {
  RunningTool run = StartHidden(commandLine, archivePath, capturePath, errors);
  if (!run.started()) return false;
  run.Wait();
  if (exitCode != nullptr) *exitCode = run.exitCode();
  return true;
}

std::optional<std::string> CaptureToolOutputOn(const std::wstring& commandLine, HANDLE archive,
                                               const std::wstring& capturePath, ErrorStream errors,
                                               const std::function<bool()>& whileRunning) {
  // Read back through the handle the run wrote: no second open, and the
  // file goes as the handle closes, on every path.
  const std::wstring& folder = CurrentRequestFolder();
  if (capturePath.empty() || folder.empty()) return std::nullopt;
  const UniqueHandle capture = CreateScratch(capturePath);
  if (!capture.valid()) return std::nullopt;
  {
    RunningTool run = StartHiddenIn(folder, commandLine, archive, capture.get(),
                                    errors == ErrorStream::Capture ? capture.get() : nullptr);
    if (!run.started()) return std::nullopt;
    if (whileRunning && !whileRunning()) {
      run.Stop();
      return std::nullopt;
    }
  }
  return ReadFromStart(capture.get());
}

std::optional<std::string> CaptureToolOutput(const std::wstring& commandLine, const std::wstring& archivePath,
                                             const std::wstring& capturePath, ErrorStream errors) {
  const UniqueHandle input = OpenArchiveInput(archivePath);
  return CaptureToolOutputOn(commandLine, input.get(), capturePath, errors);
}

}  // namespace qibor

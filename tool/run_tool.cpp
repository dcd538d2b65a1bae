#include "tool/run_tool.h"

#include <memory>
#include <utility>

#include "floor/files.h"
#include "floor/retry.h"

namespace qibor {
namespace {

// A start that fails for a passing reason is tried three more times, 100 ms apart.
constexpr RetryBudget kPassingStart{300, 100};

// The job every run goes into: it kills them as its last handle closes, at
// the latest when the host's process ends, so no run outlives its host.
// Null when the system gives none.
HANDLE RunsJob() {
  static const UniqueHandle job = [] {
    UniqueHandle made(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (made.valid() && !SetInformationJobObject(made.get(), JobObjectExtendedLimitInformation, &limits,
                                                 sizeof(limits))) {
      made.reset();
    }
    return made;
  }();
  return job.get();
}

// The list of the handles a run inherits: only these are handed to the
// child, not every inheritable handle the host happens to have open.
struct InheritedHandles {
  HANDLE handles[3] = {};
  std::unique_ptr<unsigned char[]> storage;
  LPPROC_THREAD_ATTRIBUTE_LIST list = nullptr;  // null when it could not be made
  InheritedHandles(HANDLE input, HANDLE output, HANDLE errors) : handles{input, output, errors} {
    const DWORD count = (errors != nullptr && errors != output) ? 3 : 2;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage = std::make_unique<unsigned char[]>(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.get());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return;
    if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, count * sizeof(HANDLE),
                                  nullptr, nullptr)) {
      list = attributes;
    } else {
      DeleteProcThreadAttributeList(attributes);
    }
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;
  ~InheritedHandles() {
    if (list != nullptr) DeleteProcThreadAttributeList(list);
  }
};

RunningTool StartHiddenIn(const std::wstring& folder, const std::wstring& commandLine, HANDLE input, HANDLE output,
                          HANDLE errors) {
  // CreateProcessW's limit for a command line, terminator included.
  if (commandLine.empty() || commandLine.size() >= 32768 || folder.empty()) return {};
  if (input == nullptr || input == INVALID_HANDLE_VALUE || output == nullptr || output == INVALID_HANDLE_VALUE) {
    return {};
  }
  const InheritedHandles inherited(input, output, errors);
  const bool listed = inherited.list != nullptr;

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = output;
  startup.StartupInfo.hStdError = errors;
  startup.lpAttributeList = inherited.list;

  std::wstring writable = commandLine;
  PROCESS_INFORMATION process{};
  // No console at all: the tool needs none, a console host would hold the
  // capture open for a while after the tool exits, and a tool asking for a
  // passphrase on a hidden console would wait forever.
  const DWORD flags = DETACHED_PROCESS | CREATE_SUSPENDED | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0);
  const auto started = RetryWhilePassing(kPassingStart, IsPassingStartError, [&] {
    const bool made = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                     folder.c_str(), &startup.StartupInfo, &process) != FALSE;
    return std::make_pair(made, 0);
  });
  if (!started.first) return {};
  // The child holds its own copies of the handles; ours close here. A host
  // already in a job that takes no other may leave the run outside ours.
  const UniqueHandle thread(process.hThread);
  RunningTool run(process.hProcess);
  if (RunsJob() != nullptr) AssignProcessToJobObject(RunsJob(), process.hProcess);
  if (ResumeThread(process.hThread) == static_cast<DWORD>(-1)) run.Stop();
  return run;
}

}  // namespace

UniqueHandle OpenArchive(const std::wstring& path, Writers writers) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const DWORD share = writers == Writers::Allowed ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, share, &inheritable, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

UniqueHandle ReopenArchive(HANDLE archive) {
  UniqueHandle again = ReopenForReading(archive);
  if (again.valid() && !SetHandleInformation(again.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) again.reset();
  return again;
}

DWORD ReadRunOutput(HANDLE output, RunningTool& run, void* into, DWORD room) {
  for (;;) {
    const bool ended = !run.started();
    DWORD read = 0;
    if (!ReadFile(output, into, room, &read, nullptr)) return 0;
    if (read > 0 || ended) return read;
    // Nothing yet: a moment for more, or for the run's end, after which one
    // more read takes whatever it wrote last.
    run.EndsWithin(1);
  }
}

RunningTool StartOnArchive(const std::wstring& folder, const std::wstring& commandLine, HANDLE archive,
                           HANDLE output, HANDLE errors) {
  // The run inherits the handle's file position, which an earlier run moved.
  const LARGE_INTEGER start{};
  if (archive == nullptr || !SetFilePointerEx(archive, start, nullptr, FILE_BEGIN)) return {};
  return StartHiddenIn(folder, commandLine, archive, output, errors);
}

std::optional<RunOutput> RunForOutput(const std::wstring& folder, const std::wstring& commandLine, HANDLE archive,
                                      Capture capture, bool withErrors) {
  // Read back through the handle the run wrote: the file goes as it closes.
  const UniqueHandle output = MakeCapture(folder, capture);
  if (!output.valid()) return std::nullopt;
  RunningTool run = StartOnArchive(folder, commandLine, archive, output.get(), withErrors ? output.get() : nullptr);
  if (!run.started()) return std::nullopt;
  run.Wait();
  std::optional<std::string> text = ReadFromStart(output.get());
  if (!text) return std::nullopt;
  return RunOutput{std::move(*text), run.exitCode() == 0};
}

}  // namespace qibor

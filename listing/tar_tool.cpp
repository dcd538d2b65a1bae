#include "listing/tar_tool.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

#include "interface/win_owners.h"
#include "interface/win_path.h"
#include "listing/retry.h"
#include "listing/work_folder.h"

namespace qibor {
namespace {

// A virus scanner can hold a fresh file for a moment after the tool exits.
constexpr RetryBudget kBusyFile{2000, 10};
// A start that fails for a passing reason is tried three more times, 100 ms apart.
constexpr RetryBudget kPassingStart{300, 100};

template <typename Attempt>
auto RetryWhileBusy(Attempt attempt) {
  return RetryWhilePassing(kBusyFile, IsBusyError, attempt);
}

UniqueHandle OpenCaptureFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  auto result = RetryWhileBusy([&] {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return std::make_pair(h != INVALID_HANDLE_VALUE, h);
  });
  return UniqueHandle(result.first ? result.second : nullptr);
}

}  // namespace

namespace {
std::wstring CaptureFile(const wchar_t* name) {
  const std::wstring& folder = CurrentRequestFolder();
  return folder.empty() ? folder : folder + L"\\" + name;
}
}  // namespace

std::wstring PlainListingFile() { return CaptureFile(L"qibor.txt"); }
std::wstring VerboseListingFile() { return CaptureFile(L"qiborv.txt"); }
std::wstring SelectionListingFile() { return CaptureFile(L"qibors.txt"); }
std::wstring ExtractionOutputFile() { return CaptureFile(L"qiborx.txt"); }
std::wstring VerboseErrorsFile() { return CaptureFile(L"qibore.txt"); }

std::wstring QuoteArgument(std::wstring_view argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      // Backslashes before a quotation mark are doubled, and the mark escaped.
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  // Backslashes before the closing mark are doubled so they stay literal.
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

std::wstring PlainListingCommand(const std::wstring& toolPath) { return QuoteArgument(toolPath) + L" tf -"; }

std::wstring VerboseListingCommand(const std::wstring& toolPath) { return QuoteArgument(toolPath) + L" tvf -"; }

// Each run reads through a handle of its own: two runs going at once must
// not share a file position. Writers may hold the archive, as they may when
// the tool opens it itself.
UniqueHandle OpenArchiveInput(const std::wstring& path, Writers writers) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const DWORD share = writers == Writers::Allowed ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, share, &inheritable, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

namespace {

// The run itself: its standard output to `capturePath`, its error stream
// to `errors` (null: nowhere), the archive on its standard input.
RunningTool StartWith(const std::wstring& commandLine, HANDLE input, const std::wstring& capturePath,
                      HANDLE errors, bool errorsToOutput) {
  const std::wstring& folder = CurrentRequestFolder();
  // CreateProcessW's limit for a command line, terminator included.
  if (commandLine.empty() || commandLine.size() >= 32768 || capturePath.empty() || folder.empty()) return {};
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return {};
  UniqueHandle capture = OpenCaptureFile(capturePath);
  if (!capture.valid()) return {};
  if (errorsToOutput) errors = capture.get();

  // Only these handles are handed to the child, not every inheritable
  // handle the host happens to have open.
  HANDLE inherited[3] = {input, capture.get(), errors};
  const DWORD handleCount = (errors != nullptr && errors != capture.get()) ? 3 : 2;
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
  startup.StartupInfo.hStdOutput = capture.get();
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
  CloseHandle(process.hThread);
  return RunningTool(process.hProcess);
}

}  // namespace

RunningTool StartHidden(const std::wstring& commandLine, const std::wstring& archivePath,
                        const std::wstring& capturePath, ErrorStream errors) {
  const UniqueHandle input = OpenArchiveInput(archivePath);
  return StartWith(commandLine, input.get(), capturePath, nullptr, errors == ErrorStream::Capture);
}

RunningTool StartHiddenWithErrors(const std::wstring& commandLine, const std::wstring& archivePath,
                                  const std::wstring& capturePath, const std::wstring& errorsPath) {
  const UniqueHandle input = OpenArchiveInput(archivePath);
  const UniqueHandle errors = OpenCaptureFile(errorsPath);
  if (!errors.valid()) return {};
  return StartWith(commandLine, input.get(), capturePath, errors.get(), false);
}

RunningTool StartHiddenOn(const std::wstring& commandLine, HANDLE archive, const std::wstring& capturePath,
                          ErrorStream errors) {
  return StartWith(commandLine, archive, capturePath, nullptr, errors == ErrorStream::Capture);
}

bool RunHidden(const std::wstring& commandLine, const std::wstring& archivePath, const std::wstring& capturePath,
               ErrorStream errors, DWORD* exitCode) {
  RunningTool run = StartHidden(commandLine, archivePath, capturePath, errors);
  if (!run.started()) return false;
  run.Wait();
  if (exitCode != nullptr) *exitCode = run.exitCode();
  return true;
}

UniqueHandle OpenForReading(const std::wstring& path) {
  auto opened = RetryWhileBusy([&] {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return std::make_pair(h != INVALID_HANDLE_VALUE, h);
  });
  return UniqueHandle(opened.first ? opened.second : nullptr);
}

bool ReadExactly(HANDLE file, void* bytes, std::uint64_t size) {
  // One call moves less than 4 GiB: read in pieces.
  constexpr std::uint64_t kPieceBytes = 1u << 24;
  auto* at = static_cast<unsigned char*>(bytes);
  for (std::uint64_t done = 0; done < size;) {
    const auto piece = static_cast<DWORD>(std::min(size - done, kPieceBytes));
    DWORD read = 0;
    if (!ReadFile(file, at + done, piece, &read, nullptr) || read == 0) return false;
    done += read;
  }
  return true;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  const UniqueHandle file = OpenForReading(path);
  if (!file.valid()) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return std::nullopt;
  std::string bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  if (!ReadExactly(file.get(), bytes.data(), bytes.size())) return std::nullopt;
  return bytes;
}

bool DeleteFileRetrying(const std::wstring& path) {
  auto result = RetryWhileBusy([&] {
    const bool deleted = DeleteFileW(path.c_str()) != FALSE;
    return std::make_pair(deleted || GetLastError() == ERROR_FILE_NOT_FOUND, 0);
  });
  return result.first;
}

std::optional<std::string> CaptureToolOutputOn(const std::wstring& commandLine, HANDLE archive,
                                               const std::wstring& capturePath, ErrorStream errors) {
  {
    RunningTool run = StartHiddenOn(commandLine, archive, capturePath, errors);
    if (!run.started()) return std::nullopt;
  }
  std::optional<std::string> output = ReadWholeFile(capturePath);
  DeleteFileRetrying(capturePath);
  return output;
}

std::optional<std::string> CaptureToolOutput(const std::wstring& commandLine, const std::wstring& archivePath,
                                             const std::wstring& capturePath, ErrorStream errors) {
  const UniqueHandle input = OpenArchiveInput(archivePath);
  return CaptureToolOutputOn(commandLine, input.get(), capturePath, errors);
}

bool OpenCapture(const std::wstring& path, CaptureStream& stream) {
  stream = CaptureStream{};
  stream.file = OpenForReading(path);
  return stream.file.valid();
}

bool ReadLine(CaptureStream& stream, CapturedLine& line) {
  return ReadCapturedLine(stream.lines, line, [&](char* into, std::size_t room) -> std::size_t {
    DWORD read = 0;
    if (stream.failed || !ReadFile(stream.file.get(), into, static_cast<DWORD>(room), &read, nullptr)) {
      stream.failed = true;
      return 0;
    }
    return read;
  });
}

bool RewindCapture(CaptureStream& stream) {
  LARGE_INTEGER start{};
  if (stream.failed || !SetFilePointerEx(stream.file.get(), start, nullptr, FILE_BEGIN)) return false;
  // The buffer stays, for the next pass to read into.
  stream.lines.start = 0;
  stream.lines.filled = 0;
  stream.lines.scanned = 0;
  stream.lines.atEnd = false;
  return true;
}

UINT ToolOutputCodePage() {
  // With Windows' system-wide UTF-8 setting the C runtime, and so the tool,
  // writes UTF-8 whatever the user's locale says.
  if (GetACP() == CP_UTF8) return CP_UTF8;
  UINT codePage = 0;
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                      reinterpret_cast<LPWSTR>(&codePage), sizeof(codePage) / sizeof(wchar_t)) == 0 ||
      codePage == 0) {
    return GetACP();
  }
  return codePage;
}

std::wstring DecodeToolText(std::string_view bytes, UINT codePage) {
  std::wstring text;
  DecodeToolTextInto(bytes, codePage, text);
  return text;
}

void DecodeToolTextInto(std::string_view bytes, UINT codePage, std::wstring& text) {
  text.clear();
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return;
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (units <= 0) return;
  text.resize(static_cast<std::size_t>(units));
  MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), units);
}

}  // namespace qibor

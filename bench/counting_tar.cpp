// A stand-in tar.exe for the benchmark's browse: appends its arguments as one
// line to the log named by QIBOR_BENCH_RUN_LOG, then runs the real tool named
// by QIBOR_BENCH_REAL_TOOL with the same arguments and standard handles, and
// exits with its exit code. The benchmark counts the lines. A run that cannot
// start or ends with an error is also noted in the log's ".failures" file.
#include <windows.h>

#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  if (length == 0 || length >= 32768) return {};
  return std::wstring(value, length);
}

// Our own command line without the program name, exactly as the caller
// quoted it, so the real tool parses the same arguments.
std::wstring ArgumentsText() {
  const wchar_t* text = GetCommandLineW();
  // The C runtime ends the program name at the closing quotation mark, or at
  // the first space or tab when it is not quoted.
  if (*text == L'"') {
    ++text;
    while (*text != L'\0' && *text != L'"') ++text;
    if (*text == L'"') ++text;
  } else {
    while (*text != L'\0' && *text != L' ' && *text != L'\t') ++text;
  }
  return text;
}

void AppendToLog(const std::wstring& logPath, const std::wstring& arguments) {
  if (logPath.empty()) return;
  HANDLE log = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  std::wstring line = arguments + L"\r\n";
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  if (bytes > 0) {
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr,
                        nullptr);
    DWORD written = 0;
    WriteFile(log, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  }
  CloseHandle(log);
}

// Runs that could not start or ended with an error, one line each.
std::wstring FailureLog() {
  const std::wstring log = Environment(L"QIBOR_BENCH_RUN_LOG");
  return log.empty() ? log : log + L".failures";
}

}  // namespace

int main() {
  const std::wstring realTool = Environment(L"QIBOR_BENCH_REAL_TOOL");
  if (realTool.empty()) return 125;
  const std::wstring arguments = ArgumentsText();
  AppendToLog(Environment(L"QIBOR_BENCH_RUN_LOG"), arguments);

  std::wstring commandLine = L"\"" + realTool + L"\"" + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                      &startup, &process)) {
    AppendToLog(FailureLog(), L"cannot start, error " + std::to_wstring(GetLastError()) + L":" + arguments);
    return 126;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  if (exitCode != 0) AppendToLog(FailureLog(), L"exit code " + std::to_wstring(exitCode) + L":" + arguments);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(exitCode);
}

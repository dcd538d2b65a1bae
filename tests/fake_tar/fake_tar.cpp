// A scripted stand-in for tar.exe, for what the real tool cannot be made to
// do. It reads its script from files beside itself:
//   tf.out, tvf.out  bytes written to standard output for "tf" and "tvf"
//   xf.out           bytes of the file an "xf" run writes for its member (with
//                    "_" for each character Windows forbids, as the tool does)
//   xf.none          when present, an "xf" run writes no file (member not found)
//   xf.err           when present, an "xf" run writes these bytes to standard
//                    error and exits with 1, as the tool does when it fails
//   tvf.fail         when present, a "tvf" run exits with 1
//   tvf.slow         when present, a "tvf" run writes its output in pieces of
//                    as many bytes as the file holds, 15 ms apart, as a
//                    tool reading a large archive does
// A listing given a member argument lists only the lines whose name (the
// line of tf.out at the same place) the argument selects.
// and appends every command line it is started with to runs.log (UTF-8). It
// reads the archive's first bytes from standard input, as the tool does, and
// writes an extracted member below its current folder.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\'));
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

void WriteAll(HANDLE out, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr)) return;
    done += written;
  }
}

void AppendLog(const std::wstring& folder, const wchar_t* commandLine) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, nullptr, 0, nullptr, nullptr);
  std::string line(static_cast<std::size_t>(length > 0 ? length - 1 : 0), '\0');
  if (length > 1) WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, line.data(), length, nullptr, nullptr);
  line += "\n";
  const std::wstring log = folder + L"\\runs.log";
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      WriteAll(file, line);
      CloseHandle(file);
      return;
    }
    Sleep(10);
  }
}

// Undoes the pattern escapes of a member argument.
std::wstring Unescape(const std::wstring& pattern) {
  std::wstring text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == L'\\' && i + 1 < pattern.size()) ++i;
    text.push_back(pattern[i]);
  }
  return text;
}

// The tool's matching, as far as the tests need it: "?" takes one unit, and
// a name also selects what lies below it.
bool Selects(const std::wstring& pattern, const std::wstring& name) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i, ++at) {
    if (at >= name.size()) return false;
    if (pattern[i] == L'\\' && i + 1 < pattern.size()) {
      if (name[at] != pattern[++i]) return false;
    } else if (pattern[i] != L'?' && pattern[i] != name[at]) {
      return false;
    }
  }
  return at == name.size() || name[at] == L'/';
}

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(bytes.substr(start, end + 1 - start));
  }
  return lines;
}

std::string Selected(const std::wstring& folder, const std::string& listing, const std::wstring& pattern) {
  const std::vector<std::string> names = Lines(ReadFileBytes(folder + L"\\tf.out"));
  const std::vector<std::string> lines = Lines(listing);
  std::string kept;
  for (std::size_t i = 0; i < lines.size() && i < names.size(); ++i) {
    std::string name = names[i];
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    if (Selects(pattern, std::wstring(name.begin(), name.end()))) kept += lines[i];
  }
  return kept;
}

std::wstring MemberArgument(const std::vector<std::wstring>& args) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == L"--") return args[i + 1];
  }
  return {};
}

void Extract(const std::wstring& folder, const std::vector<std::wstring>& args) {
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  const std::wstring target = current;
  std::wstring member;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"--" && i + 1 < args.size()) member = Unescape(args[i + 1]);
  }
  // "--strip-components N" drops N levels, each ended by "/" or "\\", as
  // the real tool counts them on Windows.
  for (std::size_t i = 0; i + 1 < args.size() && args[i] != L"--"; ++i) {
    if (args[i] != L"--strip-components") continue;
    for (int levels = _wtoi(args[i + 1].c_str()); levels > 0 && !member.empty(); member.erase(0, 1)) {
      if (member[0] == L'/' || member[0] == L'\\') --levels;
    }
    while (!member.empty() && (member[0] == L'/' || member[0] == L'\\')) member.erase(0, 1);
  }
  if (member.empty()) return;
  // As the real tool does on Windows.
  for (wchar_t& c : member) {
    if (c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|') c = L'_';
  }
  if (GetFileAttributesW((folder + L"\\xf.none").c_str()) != INVALID_FILE_ATTRIBUTES) return;
  std::wstring path = target;
  for (std::size_t start = 0;;) {
    const std::size_t slash = member.find(L'/', start);
    if (slash == std::wstring::npos) {
      path += L"\\" + member.substr(start);
      break;
    }
    path += L"\\" + member.substr(start, slash - start);
    CreateDirectoryW(path.c_str(), nullptr);
    start = slash + 1;
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  WriteAll(file, ReadFileBytes(folder + L"\\xf.out"));
  CloseHandle(file);
}

}  // namespace

int main() {
  const std::wstring folder = OwnFolder();
  const wchar_t* commandLine = GetCommandLineW();
  AppendLog(folder, commandLine);
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(commandLine, &count);
  std::vector<std::wstring> args(argv, argv + count);
  LocalFree(argv);
  if (args.size() < 2) return 1;
  // The archive comes on standard input; a run without it fails as the tool's would.
  char first[8];
  DWORD got = 0;
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), first, sizeof(first), &got, nullptr) || got == 0) return 1;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (args[1] == L"tf") WriteAll(out, ReadFileBytes(folder + L"\\tf.out"));
  if (args[1] == L"tvf") {
    const std::string listing = ReadFileBytes(folder + L"\\tvf.out");
    const std::wstring pattern = MemberArgument(args);
    const std::string output = pattern.empty() ? listing : Selected(folder, listing, pattern);
    const std::string slow = ReadFileBytes(folder + L"\\tvf.slow");
    if (slow.empty()) {
      WriteAll(out, output);
    } else {
      for (std::size_t at = 0; at < output.size(); at += slow.size()) {
        WriteAll(out, output.substr(at, slow.size()));
        Sleep(15);
      }
    }
    if (GetFileAttributesW((folder + L"\\tvf.fail").c_str()) != INVALID_FILE_ATTRIBUTES) return 1;
  }
  if (args[1] != L"xf" && args[1] != L"xqf") return 0;
  Extract(folder, args);
  const std::wstring complaint = folder + L"\\xf.err";
  if (GetFileAttributesW(complaint.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
  WriteAll(GetStdHandle(STD_ERROR_HANDLE), ReadFileBytes(complaint));
  return 1;
}

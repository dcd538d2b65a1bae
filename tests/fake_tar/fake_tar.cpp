// A scripted stand-in for tar.exe, for what the real tool cannot be made to
// do. It reads its script from files beside itself:
//   tf.out, tvf.out  bytes written to standard output for "tf" and "tvf"
//   xf.out           the bytes an "x" run writes on standard output for each
//                    entry it extracts ("-O"), after its "x NAME" line on
//                    standard error ("-v"), which it ends once they are out
//   xf.none          when present, an "x" run extracts nothing (not found)
//   xf.err           when present, an "x" run writes these bytes to standard
//                    error instead of its lines and exits with 1, as the tool
//                    does when it fails
//   tvf.fail         when present, a "tvf" run exits with 1
//   tvf.slow         when present, a "tvf" run writes its output in pieces of
//                    as many bytes as the file holds, 15 ms apart, as a
//                    tool reading a large archive does
// A listing given a member argument lists only the lines whose name (the
// line of tf.out at the same place) the argument selects.
// An "x" run takes the entries its member argument selects (all of them
// without one), less those an "--exclude" pattern selects, stopping after
// the first with "q". The stand-in appends every command line it is started
// with to runs.log (UTF-8) and reads the archive's first bytes from standard
// input, as the tool does. It never writes a file of an entry.
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

// The tool's matching, as far as the tests need it: "?" takes one unit, "*"
// any run of them, "\\" makes the next one plain; "^" and "$" anchor the
// pattern's ends, and a name also selects what lies below it.
bool MatchesFrom(const std::wstring& pattern, std::size_t p, const std::wstring& name, std::size_t n, bool toEnd) {
  if (p == pattern.size() || (pattern[p] == L'$' && p + 1 == pattern.size())) {
    return n == name.size() || (!toEnd && name[n] == L'/');
  }
  if (pattern[p] == L'*') {
    for (std::size_t k = n; k <= name.size(); ++k) {
      if (MatchesFrom(pattern, p + 1, name, k, toEnd)) return true;
    }
    return false;
  }
  if (n == name.size()) return false;
  if (pattern[p] == L'\\' && p + 1 < pattern.size()) {
    return name[n] == pattern[p + 1] && MatchesFrom(pattern, p + 2, name, n + 1, toEnd);
  }
  return (pattern[p] == L'?' || pattern[p] == name[n]) && MatchesFrom(pattern, p + 1, name, n + 1, toEnd);
}

bool Selects(const std::wstring& pattern, const std::wstring& name) {
  const bool anchored = !pattern.empty() && pattern[0] == L'^';
  const bool toEnd = !pattern.empty() && pattern.back() == L'$';
  return MatchesFrom(pattern, anchored ? 1 : 0, name, 0, toEnd);
}

std::wstring Widened(const std::string& line) {
  std::string name = line;
  while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
  return std::wstring(name.begin(), name.end());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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
    if (Selects(pattern, Widened(names[i]))) kept += lines[i];
  }
  return kept;
}

std::wstring MemberArgument(const std::vector<std::wstring>& args) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == L"--") return args[i + 1];
  }
  return {};
}

int Extract(const std::wstring& folder, const std::vector<std::wstring>& args) {
  const bool stopAtFirst = args[1].find(L'q') != std::wstring::npos;
  std::wstring member;
  std::vector<std::wstring> excluded;
  for (std::size_t i = 2; i + 1 < args.size(); ++i) {
    if (args[i] == L"--exclude") excluded.push_back(args[i + 1]);
    if (args[i] == L"--") member = args[i + 1];
  }
  const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  const std::string complaint = ReadFileBytes(folder + L"\\xf.err");
  const bool fails = Exists(folder + L"\\xf.err");
  if (Exists(folder + L"\\xf.none")) {
    WriteAll(errors, "tar.exe: Not found in archive\r\n");
    return 1;
  }
  const std::string bytes = ReadFileBytes(folder + L"\\xf.out");
  for (const std::string& line : Lines(ReadFileBytes(folder + L"\\tf.out"))) {
    const std::wstring name = Widened(line);
    if (!member.empty() && !Selects(member, name)) continue;
    bool out = false;
    for (const std::wstring& exclusion : excluded) out = out || Selects(exclusion, name);
    if (out) continue;
    if (!fails) WriteAll(errors, "x " + std::string(name.begin(), name.end()));
    WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
    if (!fails) WriteAll(errors, "\r\n");
    if (stopAtFirst) break;
  }
  if (!fails) return 0;
  WriteAll(errors, complaint);
  return 1;
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
  if (args[1].empty() || args[1][0] != L'x') return 0;
  return Extract(folder, args);
}

// qibor_host: loads an archive plug-in the way an image viewer does (qibor.sph,
// or qibor.spi when built 32-bit) and prints what it answers, so a set-up can
// be checked from a console.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "interface/records.h"
#include "tools/plugin_module.h"

namespace {

// The plug-in a host of this build's kind loads: 32-bit hosts load .spi files.
#ifdef _WIN64
#define PLUGIN_FILE "qibor.sph"
#else
#define PLUGIN_FILE "qibor.spi"
#endif

using qibor::ArchiveEntryA;
using qibor::ArchiveEntryW;
using qibor::IsTerminator;

enum ExitCode { kOk = 0, kPluginFailed = 1, kUsage = 2, kCannotLoad = 3 };

const char kHelp[] =
    "qibor_host: checks an archive plug-in the way an image viewer uses it.\n"
    "\n"
    "usage: qibor_host [--plugin FILE] [--ansi] COMMAND [ARGUMENTS]\n"
    "\n"
    "commands:\n"
    "  info                         the plug-in's four information texts\n"
    "  check ARCHIVE                whether the plug-in takes the file (IsSupported)\n"
    "  list ARCHIVE                 its members: position, size, time (UTC), folder and name\n"
    "  get ARCHIVE MEMBER           a member's bytes in memory: size and CRC-32\n"
    "  get ARCHIVE MEMBER --to DIR  the member written as a new file into DIR\n"
    "\n"
    "MEMBER is a position from 'list' or a member name (letter case ignored).\n"
    "--plugin names the plug-in to load (default: " PLUGIN_FILE " beside this program).\n"
    "--ansi uses the plug-in's ANSI functions instead of the wide (W) ones.\n"
    "\n"
    "exit codes: 0 done, 1 the plug-in answered with a failure, 2 bad command,\n"
    "3 the plug-in could not be loaded.\n";

void Print(const std::wstring& text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    DWORD written = 0;
    WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  // Redirected output is UTF-8, whatever the console's code page.
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
  std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

std::wstring FromAnsi(const char* text) {
  const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
  wide.resize(static_cast<std::size_t>(units - 1));
  return wide;
}

std::string ToAnsi(const std::wstring& text) {
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string ansi(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi.data(), bytes, nullptr, nullptr);
  ansi.resize(static_cast<std::size_t>(bytes - 1));
  return ansi;
}

// What each result means to someone setting the plug-in up, and what to try.
std::wstring Explain(int result) {
  switch (result) {
    case 0: return L"0: done";
    case -1: return L"-1: not served: no member has that name or position (or the request asked for input "
                    L"from memory, which is not served)";
    case 2: return L"2: not an archive the plug-in takes, or no member at that position: check that the tool "
                   L"reads this format, and that .tar names are plain ASCII";
    case 4: return L"4: out of memory: the member may be too large; lower maxMB in qibor.ini";
    case 6: return L"6: could not read: the archive is missing or locked, the tool could not be run (check "
                   L"'dir' in qibor.ini names the folder of tar.exe), or the member could not be extracted";
    case 9: return L"9: could not write the output file: the folder is missing or a file of that name exists";
    default: return std::to_wstring(result) + L": an unknown result";
  }
}

std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::wstring FormatTime(std::int64_t seconds) {
  const std::uint64_t ticks = static_cast<std::uint64_t>(seconds + 11644473600LL) * 10000000ULL;
  FILETIME fileTime{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc{};
  if (!FileTimeToSystemTime(&fileTime, &utc)) return L"?";
  wchar_t text[32];
  swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute,
           utc.wSecond);
  return text;
}

struct Member {
  std::uint64_t position;
  std::uint64_t size;
  std::int64_t timestamp;
  std::wstring name;
  std::wstring folder;  // the record's path: "ch2\", empty at the top
};

// The plug-in through its wide or its ANSI functions.
class Plugin {
 public:
  Plugin(const std::wstring& path, bool ansi) : module_(path), ansi_(ansi) {}
  bool loaded() const { return module_.loaded(); }

  std::wstring Info(int index) {
    if (ansi_) {
      char text[1024] = {};
      module_.GetPluginInfo(index, text, sizeof(text));
      return FromAnsi(text);
    }
    wchar_t text[1024] = {};
    module_.GetPluginInfoW(index, text, 1024);
    return text;
  }

  int Supported(const std::wstring& archive) {
    // The host passes an open handle to the file, as viewers usually do.
    HANDLE file = CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    unsigned char header[2048] = {};
    void* source = header;
    if (file != INVALID_HANDLE_VALUE) source = file;
    const int answer = ansi_ ? module_.IsSupported(ToAnsi(archive).c_str(), source) : module_.IsSupportedW(archive.c_str(), source);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return answer;
  }

  int List(const std::wstring& archive, std::vector<Member>& members) {
    HLOCAL list = nullptr;
    const int result = ansi_ ? module_.GetArchiveInfo(ToAnsi(archive).c_str(), 0, 0, &list) : module_.GetArchiveInfoW(archive.c_str(), 0, 0, &list);
    if (result != 0 || list == nullptr) return result;
    if (ansi_) {
      const auto* entry = static_cast<const ArchiveEntryA*>(list);
      for (; entry->method[0] != 0; ++entry)
        members.push_back({entry->position, entry->size, entry->timestamp, FromAnsi(entry->name), FromAnsi(entry->path)});
    } else {
      const auto* entry = static_cast<const ArchiveEntryW*>(list);
      for (; !IsTerminator(*entry); ++entry)
        members.push_back({entry->position, entry->size, entry->timestamp, entry->name, entry->path});
    }
    LocalFree(list);
    return 0;
  }

  int ToMemory(const std::wstring& archive, std::uint64_t position, HLOCAL& block) {
    const auto where = static_cast<LONG_PTR>(position);
    if (ansi_) return module_.GetFile(ToAnsi(archive).c_str(), where, reinterpret_cast<LPSTR>(&block), qibor::kOutputToMemory, nullptr, 0);
    return module_.GetFileW(archive.c_str(), where, reinterpret_cast<LPWSTR>(&block), qibor::kOutputToMemory, nullptr, 0);
  }

  int ToFolder(const std::wstring& archive, std::uint64_t position, const std::wstring& folder) {
    const auto where = static_cast<LONG_PTR>(position);
    if (ansi_) {
      std::string ansiFolder = ToAnsi(folder);
      return module_.GetFile(ToAnsi(archive).c_str(), where, ansiFolder.data(), 0, nullptr, 0);
    }
    std::wstring wideFolder = folder;
    return module_.GetFileW(archive.c_str(), where, wideFolder.data(), 0, nullptr, 0);
  }

 private:
  qibor::PluginModule module_;
  bool ansi_;
};

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH] = {};
  const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  return (length == 0 || length >= MAX_PATH) ? path : std::wstring(full);
}

std::wstring DefaultPluginPath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.find_last_of(L"\\/") + 1) + FromAnsi(PLUGIN_FILE);
}

int Failed(const wchar_t* what, int result) {
  Print(std::wstring(what) + L" failed with " + Explain(result) + L"\n");
  return kPluginFailed;
}

int RunInfo(Plugin& plugin) {
  const wchar_t* labels[] = {L"interface", L"name", L"patterns", L"file type"};
  for (int index = 0; index < 4; ++index) Print(std::wstring(labels[index]) + L": " + plugin.Info(index) + L"\n");
  return kOk;
}

int RunCheck(Plugin& plugin, const std::wstring& archive) {
  const int answer = plugin.Supported(archive);
  Print(archive + (answer ? L": supported\n" : L": not supported (not an archive the tool reads, or a .tar "
                                               L"whose names are not plain ASCII)\n"));
  return answer ? kOk : kPluginFailed;
}

int RunList(Plugin& plugin, const std::wstring& archive) {
  std::vector<Member> members;
  const int result = plugin.List(archive, members);
  if (result != 0) return Failed(L"listing", result);
  Print(L"position         size  time (UTC)           folder and name\n");
  for (const Member& member : members) {
    wchar_t line[64];
    swprintf(line, 64, L"%8llu %12llu  ", static_cast<unsigned long long>(member.position),
             static_cast<unsigned long long>(member.size));
    Print(line + FormatTime(member.timestamp) + L"  " + member.folder + member.name + L"\n");
  }
  Print(std::to_wstring(members.size()) + L" member(s)\n");
  return kOk;
}

int RunGet(Plugin& plugin, const std::wstring& archive, const std::wstring& memberText, const std::wstring& folder) {
  std::vector<Member> members;
  const int listed = plugin.List(archive, members);
  if (listed != 0) return Failed(L"listing", listed);
  const Member* member = nullptr;
  wchar_t* end = nullptr;
  const unsigned long long number = wcstoull(memberText.c_str(), &end, 10);
  for (const Member& candidate : members) {
    const bool byNumber = !memberText.empty() && end != nullptr && *end == L'\0' && candidate.position == number;
    const std::wstring full = candidate.folder + candidate.name;
    if (byNumber || CompareStringOrdinal(full.c_str(), -1, memberText.c_str(), -1, TRUE) == CSTR_EQUAL ||
        CompareStringOrdinal(candidate.name.c_str(), -1, memberText.c_str(), -1, TRUE) == CSTR_EQUAL) {
      member = &candidate;
      break;
    }
  }
  if (member == nullptr) {
    Print(L"no member '" + memberText + L"' in " + archive + L" (see 'list')\n");
    return kPluginFailed;
  }
  if (!folder.empty()) {
    const int result = plugin.ToFolder(archive, member->position, folder);
    if (result != 0) return Failed(L"extraction", result);
    Print(L"wrote " + folder + L"\\" + member->name + L" (" + std::to_wstring(member->size) + L" bytes)\n");
    return kOk;
  }
  HLOCAL block = nullptr;
  const int result = plugin.ToMemory(archive, member->position, block);
  if (result != 0) return Failed(L"extraction", result);
  const SIZE_T size = LocalSize(block);
  wchar_t crc[16];
  swprintf(crc, 16, L"%08x", Crc32(static_cast<const unsigned char*>(block), size));
  LocalFree(block);
  Print(member->name + L": " + std::to_wstring(size) + L" bytes in memory, CRC-32 " + crc + L"\n");
  return kOk;
}

int Run(std::vector<std::wstring> args) {
  std::wstring pluginPath = DefaultPluginPath();
  std::wstring folder;
  bool ansi = false;
  std::vector<std::wstring> words;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"--help" || args[i] == L"-h" || args[i] == L"/?") {
      Print(FromAnsi(kHelp));
      return kOk;
    }
    if (args[i] == L"--ansi") {
      ansi = true;
    } else if ((args[i] == L"--plugin" || args[i] == L"--to") && i + 1 < args.size()) {
      (args[i] == L"--plugin" ? pluginPath : folder) = FullPath(args[i + 1]);
      ++i;
    } else {
      words.push_back(args[i]);
    }
  }
  if (words.empty()) {
    Print(FromAnsi(kHelp));
    return kUsage;
  }
  Plugin plugin(FullPath(pluginPath), ansi);
  if (!plugin.loaded()) {
    Print(L"cannot load " + pluginPath + L" as an archive plug-in (this host is " +
          std::wstring(sizeof(void*) == 8 ? L"64-bit: it loads a .sph" : L"32-bit: it loads a .spi") + L")\n");
    return kCannotLoad;
  }
  const std::wstring& command = words[0];
  if (command == L"info" && words.size() == 1) return RunInfo(plugin);
  if (command == L"check" && words.size() == 2) return RunCheck(plugin, FullPath(words[1]));
  if (command == L"list" && words.size() == 2) return RunList(plugin, FullPath(words[1]));
  if (command == L"get" && words.size() == 3) return RunGet(plugin, FullPath(words[1]), words[2], folder);
  Print(L"unknown command or wrong arguments; see --help\n");
  return kUsage;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> args;
  for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return Run(std::move(args));
}

// qibor_bench: times qibor.sph the way an image viewer drives it, against the
// bare tool runs each request is made of (started exactly as qibor starts
// them, with qibor's own runner and command lines), counts the tool runs of
// each kind of request and of a browse through a counting stand-in, and
// measures the private bytes a fetch to memory takes.
//
// usage: qibor_bench --plugin SPH --tool TAR_EXE --archives DIR
//                    [--counting-tool TAR_EXE] [--csv FILE] [--markdown FILE]
//                    [--runs N] [--sizes 10,1000,...] [--formats tar,7z]
//                    [--work DIR] [--skip-browse] [--skip-memory]
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <functional>
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/clock.h"
#include "extract/member_path.h"
#include "floor/files.h"
#include "floor/unique_any.h"
#include "interface/records.h"
#include "tool/commands.h"
#include "tool/run_tool.h"
#include "tools/plugin_module.h"

namespace {

using EntryW = qibor::ArchiveEntryW;
using qibor::QuoteArgument;


constexpr unsigned int kToMemory = 0x100;
constexpr double kMiB = 1024.0 * 1024.0;

double Mib(std::uint64_t bytes) { return static_cast<double>(bytes) / kMiB; }

// ---- text and files ----

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
  return out;
}

std::wstring Widen(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int units = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
  if (units > 0)
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), units);
  return out;
}

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::string Format(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  return buffer;
}

bool ReadBytes(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char buffer[1 << 16];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return true;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH] = {};
  const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  return (length == 0 || length >= MAX_PATH) ? path : std::wstring(full);
}

void MakeFolders(const std::wstring& folder) {
  for (std::size_t i = 3; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == L'\\') CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
  }
}

// ---- clocks ----

// This process's user and kernel time: the work done here, without the time
// spent waiting for the tool.
double CpuSeconds() {
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
  };
  return seconds(kernel) + seconds(user);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// ---- the bare tool ----

// Where a bare run's error stream goes: nowhere, into its output, or into a
// file of its own (as a listing's verbose run has it).
enum class BareErrors { None, ToOutput, ToOwnFile };

// A bare run's capture, inheritable, kept to be read back.
qibor::UniqueHandle CreateCapture(const std::wstring& path) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return qibor::UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Every bare run this process started.
std::size_t g_bareRuns = 0;

// What a request's run costs at the least: the tool started with qibor's own
// runner (hidden, no console, the archive on its standard input, only its
// handles inherited) in `folder`, its output to a file, waited for; nothing
// read back.
qibor::RunningTool StartBare(const std::wstring& folder, const std::wstring& commandLine, const std::wstring& archive,
                             const std::wstring& capturePath, BareErrors errors, const std::wstring& errorsPath = {}) {
  ++g_bareRuns;
  const qibor::UniqueHandle input = qibor::OpenArchive(archive);
  const qibor::UniqueHandle capture = CreateCapture(capturePath);
  qibor::UniqueHandle ownErrors;
  if (errors == BareErrors::ToOwnFile) ownErrors = CreateCapture(errorsPath);
  const HANDLE errorStream = errors == BareErrors::ToOutput ? capture.get() : ownErrors.get();
  return qibor::StartOnArchive(folder, commandLine, input.get(), capture.get(), errorStream);
}

bool EndedWell(qibor::RunningTool& run) {
  if (!run.started()) return false;
  run.Wait();
  return run.exitCode() == 0;
}

bool RunBare(const std::wstring& folder, const std::wstring& commandLine, const std::wstring& archive,
             const std::wstring& capturePath, BareErrors errors, const std::wstring& errorsPath = {}) {
  qibor::RunningTool run = StartBare(folder, commandLine, archive, capturePath, errors, errorsPath);
  return EndedWell(run);
}

// The least a fetch's run can be: the member alone on standard output.
std::wstring BareExtractionCommand(const std::wstring& tool, const std::wstring& pattern) {
  return QuoteArgument(tool) + L" xqOf - -- " + QuoteArgument(pattern);
}

// Deletes the bare runs' capture files, off the clock.
void SettleCaptures(const std::vector<std::wstring>& captures) {
  for (const std::wstring& capture : captures) {
    for (int waited = 0; !DeleteFileW(capture.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND && waited < 5000;
         waited += 5)
      Sleep(5);
  }
}

// ---- the plug-in, as a host sees it ----

class Plugin {
 public:
  explicit Plugin(const std::wstring& path) : module_(path) {}
  bool loaded() const { return module_.loaded(); }

  int List(const std::wstring& archive, HLOCAL& list) { return module_.GetArchiveInfoW(archive.c_str(), 0, 0, &list); }
  int Fetch(const std::wstring& archive, std::uint64_t position, HLOCAL& block) {
    return module_.GetFileW(archive.c_str(), static_cast<LONG_PTR>(position), reinterpret_cast<LPWSTR>(&block),
                            kToMemory, nullptr, 0);
  }

  // As viewers ask: with the file's first 2 KiB in memory.
  bool Supported(const std::wstring& archive) {
    std::string head;
    if (!ReadBytes(archive, head)) return false;
    head.resize(2048);
    return module_.IsSupportedW(archive.c_str(), head.data()) == 1;
  }

  // The list's records, or none when the request fails.
  std::vector<EntryW> Records(const std::wstring& archive) {
    std::vector<EntryW> records;
    HLOCAL list = nullptr;
    if (List(archive, list) != 0 || list == nullptr) return records;
    for (const auto* entry = static_cast<const EntryW*>(list); !qibor::IsTerminator(*entry); ++entry)
      records.push_back(*entry);
    LocalFree(list);
    return records;
  }

 private:
  qibor::PluginModule module_;
};

// ---- options ----

struct Options {
  std::wstring plugin, tool, countingTool, archives, csv, markdown, work;
  int runs = 5;
  std::vector<std::size_t> sizes{10, 1000, 10000, 50000};
  std::vector<std::wstring> formats{L"tar", L"7z"};
  bool browse = true;
  bool memory = true;
  // The child processes that measure one fetch's memory, and the cache's.
  bool memoryChild = false;
  bool cacheChild = false;
  std::wstring archive, result;
};

std::vector<std::wstring> SplitList(const std::wstring& text) {
  std::vector<std::wstring> items;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(L',', start);
    if (comma == std::wstring::npos) comma = text.size();
    if (comma > start) items.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return items;
}

bool ParseOptions(const std::vector<std::wstring>& args, Options& options) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& name = args[i];
    if (name == L"--skip-browse") {
      options.browse = false;
      continue;
    }
    if (name == L"--skip-memory") {
      options.memory = false;
      continue;
    }
    if (name == L"--cache-child") {
      options.cacheChild = true;
      continue;
    }
    if (name == L"--memory-child") {
      options.memoryChild = true;
      continue;
    }
    if (i + 1 >= args.size()) return false;
    const std::wstring& value = args[++i];
    if (name == L"--plugin") options.plugin = FullPath(value);
    else if (name == L"--tool") options.tool = FullPath(value);
    else if (name == L"--counting-tool") options.countingTool = FullPath(value);
    else if (name == L"--archives") options.archives = FullPath(value);
    else if (name == L"--csv") options.csv = FullPath(value);
    else if (name == L"--markdown") options.markdown = FullPath(value);
    else if (name == L"--work") options.work = FullPath(value);
    else if (name == L"--archive") options.archive = FullPath(value);
    else if (name == L"--result") options.result = FullPath(value);
    else if (name == L"--runs") options.runs = std::max(1, _wtoi(value.c_str()));
    else if (name == L"--formats") options.formats = SplitList(value);
    else if (name == L"--sizes") {
      options.sizes.clear();
      for (const std::wstring& size : SplitList(value)) options.sizes.push_back(wcstoull(size.c_str(), nullptr, 10));
    } else {
      return false;
    }
  }
  return true;
}

bool Browse(Plugin& plugin, const std::wstring& archive, const std::vector<std::size_t>& positions);

// ---- the peak private bytes of one fetch, in a process of its own ----

std::uint64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof(counters)))
    return 0;
  // Windows gives the commit charge in both; Wine leaves PrivateUsage at 0 and
  // gives the touched private pages as PagefileUsage.
  return std::max<std::uint64_t>(counters.PrivateUsage, counters.PagefileUsage);
}

std::uint64_t PeakPagefileBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
  return counters.PeakPagefileUsage;
}

// Lists the archive, then fetches its largest member to memory while a thread
// samples the private bytes. Writes "size baseline peak" to the result file.
int RunMemoryChild(const Options& options) {
  Plugin plugin(options.plugin);
  if (!plugin.loaded()) return 3;
  const std::vector<EntryW> records = plugin.Records(options.archive);
  if (records.empty()) return 4;
  const EntryW* largest = &records[0];
  for (const EntryW& record : records)
    if (record.size > largest->size) largest = &record;
  const std::uint64_t position = largest->position;
  const std::uint64_t size = largest->size;

  const std::uint64_t baseline = PrivateBytes();
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> peak{baseline};
  std::thread sampler([&] {
    while (!stop.load()) {
      const std::uint64_t now = PrivateBytes();
      if (now > peak.load()) peak.store(now);
      Sleep(1);
    }
  });
  HLOCAL block = nullptr;
  const int result = plugin.Fetch(options.archive, position, block);
  const std::uint64_t held = PrivateBytes();
  stop.store(true);
  sampler.join();
  const std::uint64_t fetched = block != nullptr ? LocalSize(block) : 0;
  if (block != nullptr) LocalFree(block);
  if (result != 0 || fetched != size) return 5;
  // Windows keeps the true peak for the whole process; Wine reports the
  // current value there, so the samples stand in.
  const std::uint64_t highest = std::max({peak.load(), held, PeakPagefileBytes()});
  return WriteBytes(options.result, Format("%llu %llu %llu\n", static_cast<unsigned long long>(size),
                                           static_cast<unsigned long long>(baseline),
                                           static_cast<unsigned long long>(highest)))
             ? 0
             : 6;
}

// Pages through the archive in reverse, so the first fetch reads it all
// ahead, while a thread samples the private bytes: before the plug-in is
// loaded, at the highest during the browse, and after it is freed. Writes
// "before peak after" to the result file.
int RunCacheChild(const Options& options) {
  const std::uint64_t before = PrivateBytes();
  auto plugin = std::make_unique<Plugin>(options.plugin);
  if (!plugin->loaded()) return 3;
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> peak{before};
  std::thread sampler([&] {
    while (!stop.load()) {
      const std::uint64_t now = PrivateBytes();
      if (now > peak.load()) peak.store(now);
      Sleep(1);
    }
  });
  std::vector<std::size_t> positions(200);
  for (std::size_t i = 0; i < positions.size(); ++i) positions[i] = positions.size() - 1 - i;
  const bool browsed = Browse(*plugin, options.archive, positions);
  stop.store(true);
  sampler.join();
  plugin.reset();
  Sleep(500);
  const std::uint64_t after = PrivateBytes();
  if (!browsed) return 5;
  return WriteBytes(options.result, Format("%llu %llu %llu\n", static_cast<unsigned long long>(before),
                                           static_cast<unsigned long long>(std::max(peak.load(), PeakPagefileBytes())),
                                           static_cast<unsigned long long>(after)))
             ? 0
             : 6;
}

// ---- the benchmark ----

struct Row {
  std::string measure;
  std::string format;
  std::size_t members = 0;
  int runs = 0;
  double pluginMs = 0, bareMs = 0, ratio = 0;
  double pluginMinMs = 0, bareMinMs = 0;  // the fastest runs, for a loaded machine
  // A listing's two bare runs one after the other, as the design before
  // started them (0 when not measured).
  double oneAfterOtherMs = 0;
  // A listing's bare runs started at once: how long one core is free at
  // their end, from the plain run's end to the verbose run's. What the
  // plug-in does after the plain run fits there; the rest adds to the time.
  double freeCoreMs = 0;
  double ownUsPerMember = 0, ownCpuUsPerMember = 0;
  // Tool runs of one request as the counting stand-in saw them, and of its
  // bare counterpart as this program started them.
  std::size_t pluginToolRuns = 0, bareToolRuns = 0;
  // The browse: its runs, the most it may take, and the same browse as bare
  // runs of the design with three runs a fetch.
  std::size_t toolRuns = 0, mostToolRuns = 0, failures = 0;
  double oldDesignMs = 0, bareSameRunsMs = 0;
  // The run counts of each kind of request.
  std::size_t listingRuns = 0, cachedFetchRuns = 0, missedFetchRuns = 0, supportRuns = 0;
  // The fetch's memory.
  std::uint64_t memberBytes = 0, peakBytes = 0, baselineBytes = 0;
};

Row RowFor(const std::string& measure, const std::wstring& format, std::size_t members) {
  Row row;
  row.measure = measure;
  row.format = Utf8(format);
  row.members = members;
  return row;
}

class Bench {
 public:
  explicit Bench(const Options& options) : options_(options) {}

  int Run();

 private:
  std::wstring ArchivePath(const std::wstring& format, std::size_t members) const {
    return options_.archives + L"\\" + format + L"-" + std::to_wstring(members) + (format == L"tar" ? L".tar" : L".7z");
  }
  bool WriteSettings(const std::wstring& pluginCopy, const std::wstring& toolFolder, int cacheMB = 256);
  // A copy of the plug-in, as a viewer's plug-in folder holds it, with its
  // settings beside it naming the tool in `toolFolder`.
  std::unique_ptr<Plugin> InstallPlugin(const std::wstring& folder, const std::wstring& toolFolder);
  // How many tool runs `request` makes through the copy of the plug-in that
  // runs the counting stand-in, after `prepare` (not counted) ran through it
  // too. Each gets that copy. No value without the stand-in or when a step
  // fails.
  template <typename Prepare, typename Request>
  std::optional<std::size_t> CountRuns(Prepare prepare, Request request);
  template <typename Request>
  std::optional<std::size_t> CountRuns(Request request) {
    return CountRuns([](Plugin&) { return true; }, request);
  }
  // The member's path as the tool prints it, checked against the plug-in's list.
  std::optional<std::wstring> MemberPath(const std::wstring& archive, std::size_t members, std::size_t position,
                                         std::uint64_t& size, std::string& bytes);
  bool MeasureListing(const std::wstring& format, std::size_t members);
  bool MeasureFetch(const std::wstring& format, std::size_t members);
  bool MeasureRunCounts();
  bool MeasurePaging(const std::wstring& name, bool withToday);
  bool MeasureFirstPage(const std::wstring& name, std::size_t position);
  bool MeasureBigFetch();
  bool MeasureCacheMemory();
  bool MeasureMemory();
  void Fail(const std::string& what) { Print("qibor_bench: " + what + "\n"); }

  // Times the plug-in and the bare runs alternately, each run once untimed
  // first, so both see the same warm caches and the same background load.
  // `settle` runs untimed after each.
  template <typename PluginRun, typename BareRun, typename Settle>
  bool Compare(Row& row, PluginRun pluginRun, BareRun bareRun, Settle settle,
               const std::function<bool()>& oneAfterOther = {});

  const Options& options_;
  std::wstring pluginCopy_, bareFolder_, extractFolder_;
  std::unique_ptr<Plugin> plugin_;
  // A second copy, loaded beside the first, whose settings name the
  // counting stand-in: each copy keeps its own settings and its own lists.
  std::unique_ptr<Plugin> counting_;
  std::vector<Row> rows_;
};

bool Bench::WriteSettings(const std::wstring& pluginCopy, const std::wstring& toolFolder, int cacheMB) {
  return WriteBytes(FolderOf(pluginCopy) + L"\\qibor.ini", "[UserSetting]\r\ndir=" + Utf8(toolFolder) +
                                                               "\r\nmaxMB=4096\r\ncacheMB=" + std::to_string(cacheMB) +
                                                               "\r\n");
}

std::unique_ptr<Plugin> Bench::InstallPlugin(const std::wstring& folder, const std::wstring& toolFolder) {
  MakeFolders(folder);
  const std::wstring copy = folder + L"\\qibor.sph";
  if (!CopyFileW(options_.plugin.c_str(), copy.c_str(), FALSE) || !WriteSettings(copy, toolFolder)) {
    Fail("cannot set up the plug-in in " + Utf8(folder));
    return nullptr;
  }
  auto plugin = std::make_unique<Plugin>(copy);
  if (!plugin->loaded()) {
    Fail("cannot load " + Utf8(copy));
    return nullptr;
  }
  return plugin;
}

template <typename Prepare, typename Request>
std::optional<std::size_t> Bench::CountRuns(Prepare prepare, Request request) {
  if (!counting_) return std::nullopt;
  const std::wstring log = bareFolder_ + L"\\runs.log";
  const std::wstring failureLog = log + L".failures";
  const bool prepared = prepare(*counting_);
  DeleteFileW(log.c_str());
  DeleteFileW(failureLog.c_str());
  const bool done = prepared && request(*counting_);
  std::string text;
  const std::size_t runs = ReadBytes(log, text) ? SplitLines(text).size() : 0;
  // Runs the stand-in could not start, or that ended with an error, say
  // why a request failed: the tool's side or the plug-in's.
  std::string failures;
  if (ReadBytes(failureLog, failures)) {
    for (const std::string& line : SplitLines(failures)) Fail("counted tool run: " + line);
  }
  if (!done) return std::nullopt;
  return runs;
}

// The pause before each timed turn.
constexpr DWORD kQuietMs = 30;

template <typename PluginRun, typename BareRun, typename Settle>
bool Bench::Compare(Row& row, PluginRun pluginRun, BareRun bareRun, Settle settle,
                    const std::function<bool()>& oneAfterOther) {
  if (!pluginRun()) return false;
  const std::size_t bareRunsBefore = g_bareRuns;
  if (!bareRun()) return false;
  row.bareToolRuns = g_bareRuns - bareRunsBefore;
  settle();
  if (oneAfterOther && !oneAfterOther()) return false;
  settle();
  std::vector<double> pluginWall, bareWall, pluginCpu, bareCpu, oneAfterOtherWall;
  for (int run = 0; run < options_.runs; ++run) {
    // The runs one after the other take a turn of their own first, untimed
    // against the other two.
    if (oneAfterOther) {
      Sleep(kQuietMs);
      const double start = WallSeconds();
      const bool ok = oneAfterOther();
      oneAfterOtherWall.push_back(WallSeconds() - start);
      settle();
      if (!ok) return false;
    }
    for (int turn = 0; turn < 2; ++turn) {
      // Alternate which goes first, so neither always follows the other.
      const bool pluginTurn = (turn == 0) == (run % 2 == 0);
      // Each turn starts on a quiet machine, as a viewer's request after the
      // user's click does: under Wine a run started while the last one's
      // process is still being torn down, or while a core is busy, often
      // takes four times as long, which would make either side's median a
      // matter of luck.
      Sleep(kQuietMs);
      const double cpu = CpuSeconds();
      const double start = WallSeconds();
      const bool ok = pluginTurn ? pluginRun() : bareRun();
      const double wall = WallSeconds() - start;
      const double cpuUsed = CpuSeconds() - cpu;
      settle();
      if (!ok) return false;
      (pluginTurn ? pluginWall : bareWall).push_back(wall);
      (pluginTurn ? pluginCpu : bareCpu).push_back(cpuUsed);
    }
  }
  row.runs = options_.runs;
  row.pluginMs = Median(pluginWall) * 1e3;
  row.bareMs = Median(bareWall) * 1e3;
  row.ratio = row.pluginMs / row.bareMs;
  row.pluginMinMs = *std::min_element(pluginWall.begin(), pluginWall.end()) * 1e3;
  row.bareMinMs = *std::min_element(bareWall.begin(), bareWall.end()) * 1e3;
  if (!oneAfterOtherWall.empty()) row.oneAfterOtherMs = Median(oneAfterOtherWall) * 1e3;
  row.ownUsPerMember = (row.pluginMs - row.bareMs) * 1e3 / static_cast<double>(row.members);
  row.ownCpuUsPerMember = (Median(pluginCpu) - Median(bareCpu)) * 1e6 / static_cast<double>(row.members);
  return true;
}

// A listing through the plug-in, its list freed; false when it fails.
bool ListOnce(Plugin& plugin, const std::wstring& archive) {
  HLOCAL list = nullptr;
  const bool listed = plugin.List(archive, list) == 0;
  if (list != nullptr) LocalFree(list);
  return listed;
}

bool FetchOnce(Plugin& plugin, const std::wstring& archive, std::uint64_t position, std::uint64_t size) {
  HLOCAL block = nullptr;
  const int result = plugin.Fetch(archive, position, block);
  const std::uint64_t fetched = block != nullptr ? LocalSize(block) : 0;
  if (block != nullptr) LocalFree(block);
  return result == 0 && fetched == size;
}

// The list, then the members at `positions` to memory, one after the other.
bool Browse(Plugin& plugin, const std::wstring& archive, const std::vector<std::size_t>& positions) {
  const std::vector<EntryW> records = plugin.Records(archive);
  if (records.size() != positions.size()) return false;
  for (const std::size_t position : positions) {
    if (!FetchOnce(plugin, archive, position, records[position].size)) return false;
  }
  return true;
}

bool Bench::MeasureListing(const std::wstring& format, std::size_t members) {
  const std::wstring archive = ArchivePath(format, members);
  Row row = RowFor("GetArchiveInfoW", format, members);
  const std::wstring plain = qibor::PlainListingCommand(options_.tool);
  const std::wstring verbose = qibor::VerboseListingCommand(options_.tool);
  const std::wstring capture = bareFolder_ + L"\\capture.txt";
  const std::wstring verboseCapture = bareFolder_ + L"\\capturev.txt";
  const std::wstring errorsCapture = bareFolder_ + L"\\capturee.txt";
  // Only the call is timed: the list is freed after the clock stops, as
  // freeing it is the host's work.
  HLOCAL list = nullptr;
  auto pluginRun = [&] {
    const int result = plugin_->List(archive, list);
    const std::size_t count = list != nullptr ? LocalSize(list) / sizeof(EntryW) - 1 : 0;
    return result == 0 && count == members;
  };
  // The listing's two runs, started at once as qibor starts them: the
  // verbose run first, as it is the longer.
  std::vector<double> freeCore;
  auto bareRun = [&] {
    qibor::RunningTool verboseRun =
        StartBare(bareFolder_, verbose, archive, verboseCapture, BareErrors::ToOwnFile, errorsCapture);
    qibor::RunningTool plainRun = StartBare(bareFolder_, plain, archive, capture, BareErrors::None);
    const bool plainWell = EndedWell(plainRun);
    const double plainEnd = WallSeconds();
    const bool verboseWell = EndedWell(verboseRun);
    freeCore.push_back(WallSeconds() - plainEnd);
    return verboseWell && plainWell;
  };
  // The same two runs one after the other, as the design before ran them.
  auto oneAfterOther = [&] {
    return RunBare(bareFolder_, plain, archive, capture, BareErrors::None) &&
           RunBare(bareFolder_, verbose, archive, verboseCapture, BareErrors::ToOwnFile, errorsCapture);
  };
  auto settle = [&] {
    if (list != nullptr) LocalFree(std::exchange(list, nullptr));
    SettleCaptures({capture, verboseCapture, errorsCapture});
  };
  const std::optional<std::size_t> counted = CountRuns([&](Plugin& plugin) { return ListOnce(plugin, archive); });
  row.pluginToolRuns = counted.value_or(0);
  if (!Compare(row, pluginRun, bareRun, settle, oneAfterOther)) {
    Fail("listing " + Utf8(archive) + " failed");
    return false;
  }
  // The first bare run was untimed.
  freeCore.erase(freeCore.begin());
  row.freeCoreMs = Median(freeCore) * 1e3;
  rows_.push_back(row);
  return true;
}

std::optional<std::wstring> Bench::MemberPath(const std::wstring& archive, std::size_t members, std::size_t position,
                                              std::uint64_t& size, std::string& bytes) {
  const std::wstring capture = bareFolder_ + L"\\capture.txt";
  std::string listed;
  if (!RunBare(bareFolder_, qibor::PlainListingCommand(options_.tool), archive, capture, BareErrors::None) ||
      !ReadBytes(capture, listed)) {
    Fail("cannot list " + Utf8(archive));
    return std::nullopt;
  }
  SettleCaptures({capture});
  // Folders have lines of their own, ending in "/"; they are not members.
  std::vector<std::string> lines = SplitLines(listed);
  std::erase_if(lines, [](const std::string& line) { return line.ends_with('/'); });
  // The tool writes names in the user's ANSI code page.
  const std::wstring memberPath = lines.size() == members ? Widen(lines[position], CP_ACP) : std::wstring();
  const std::vector<EntryW> records = plugin_->Records(archive);
  const std::wstring name = memberPath.substr(memberPath.find_last_of(L'/') + 1);
  if (memberPath.empty() || records.size() != members || name != records[position].name) {
    Fail("the plug-in's list of " + Utf8(archive) + " does not match the tool's");
    return std::nullopt;
  }
  size = records[position].size;
  bytes = lines[position];
  return memberPath;
}

bool Bench::MeasureFetch(const std::wstring& format, std::size_t members) {
  const std::wstring archive = ArchivePath(format, members);
  Row row = RowFor("GetFileW", format, members);
  const std::size_t position = members / 2;
  std::uint64_t size = 0;
  std::string memberBytes;
  const std::optional<std::wstring> memberPath = MemberPath(archive, members, position, size, memberBytes);
  if (!memberPath) return false;

  // The fetch from the cache, as a viewer makes it once the list is shown
  // (MemberPath listed the archive through the timed copy).
  const std::optional<std::size_t> counted =
      CountRuns([&](Plugin& plugin) { return ListOnce(plugin, archive); },
                [&](Plugin& plugin) { return FetchOnce(plugin, archive, position, size); });
  row.pluginToolRuns = counted.value_or(0);

  // The member's one run, as qibor makes it but with nothing read back: the
  // member's bytes on standard output, into a file.
  qibor::ExtractionArguments arguments;
  arguments.pattern = qibor::EscapeMemberPattern(*memberPath);
  const std::wstring extract = BareExtractionCommand(options_.tool, arguments.pattern);
  const std::wstring capture = bareFolder_ + L"\\capturex.txt";
  auto pluginRun = [&] { return FetchOnce(*plugin_, archive, position, size); };
  auto bareRun = [&] { return RunBare(extractFolder_, extract, archive, capture, BareErrors::None); };
  auto settle = [&] { SettleCaptures({capture}); };
  if (!Compare(row, pluginRun, bareRun, settle)) {
    Fail("fetching from " + Utf8(archive) + " failed");
    return false;
  }
  rows_.push_back(row);
  return true;
}

// The runs of each kind of request, on the smallest archives: a listing, a
// fetch from the cache, a fetch that finds no list (another archive was
// listed since), and IsSupportedW.
bool Bench::MeasureRunCounts() {
  if (!counting_ || options_.sizes.empty() || options_.formats.empty()) return true;
  const std::size_t members = *std::min_element(options_.sizes.begin(), options_.sizes.end());
  const std::wstring archive = ArchivePath(options_.formats.front(), members);
  const std::wstring other = options_.archives + L"\\browse-200.7z";
  const std::vector<EntryW> records = plugin_->Records(archive);
  if (records.empty()) {
    Fail("cannot list " + Utf8(archive));
    return false;
  }
  const EntryW& middle = records[records.size() / 2];
  Row row;
  row.measure = "run counts";
  row.format = Utf8(options_.formats.front());
  row.members = members;
  const auto listing = CountRuns([&](Plugin& plugin) { return ListOnce(plugin, archive); });
  const auto cached = CountRuns([&](Plugin& plugin) { return ListOnce(plugin, archive); },
                                [&](Plugin& plugin) { return FetchOnce(plugin, archive, middle.position, middle.size); });
  // Listing another archive leaves no list of this one in the cache.
  const auto missed = CountRuns([&](Plugin& plugin) { return ListOnce(plugin, other); },
                                [&](Plugin& plugin) { return FetchOnce(plugin, archive, middle.position, middle.size); });
  const auto support = CountRuns([&](Plugin& plugin) { return plugin.Supported(archive); });
  if (!listing || !cached || !missed || !support) {
    Fail("a counted request failed");
    return false;
  }
  row.listingRuns = *listing;
  row.cachedFetchRuns = *cached;
  row.missedFetchRuns = *missed;
  row.supportRuns = *support;
  rows_.push_back(row);
  return true;
}

// Paging through 200 pictures as a viewer does: the list, then each picture
// to memory, its block freed; in order, in reverse and shuffled. Against one
// bare pass over the archive (xOf -, its bytes to a file) and the listing's
// two bare runs, started at once as qibor starts them.
bool Bench::MeasurePaging(const std::wstring& name, bool withToday) {
  const std::wstring archive = options_.archives + L"\\" + name;
  const std::wstring format = name.substr(name.rfind(L'.') + 1);
  const std::vector<EntryW> records = plugin_->Records(archive);
  if (records.size() != 200) {
    Fail("cannot list " + Utf8(archive));
    return false;
  }
  const std::wstring capture = bareFolder_ + L"\\capture.txt";
  const std::wstring verboseCapture = bareFolder_ + L"\\capturev.txt";
  const std::wstring errorsCapture = bareFolder_ + L"\\capturee.txt";
  const std::wstring passCapture = bareFolder_ + L"\\capturex.txt";
  auto bareRun = [&] {
    qibor::RunningTool verboseRun = StartBare(bareFolder_, qibor::VerboseListingCommand(options_.tool), archive,
                                              verboseCapture, BareErrors::ToOwnFile, errorsCapture);
    qibor::RunningTool plainRun =
        StartBare(bareFolder_, qibor::PlainListingCommand(options_.tool), archive, capture, BareErrors::None);
    const bool listed = EndedWell(plainRun) && EndedWell(verboseRun);
    return listed && RunBare(bareFolder_, QuoteArgument(options_.tool) + L" xOf -", archive, passCapture,
                             BareErrors::None);
  };
  auto settle = [&] { SettleCaptures({capture, verboseCapture, errorsCapture, passCapture}); };
  for (const char* order : {"in order", "reverse", "shuffled"}) {
    std::vector<std::size_t> positions(records.size());
    for (std::size_t i = 0; i < positions.size(); ++i) positions[i] = i;
    if (std::string(order) == "reverse") std::reverse(positions.begin(), positions.end());
    if (std::string(order) == "shuffled") std::shuffle(positions.begin(), positions.end(), std::mt19937(200));
    Row row = RowFor(std::string("browse ") + order, format, records.size());
    auto pluginRun = [&] { return Browse(*plugin_, archive, positions); };
    if (!Compare(row, pluginRun, bareRun, settle)) {
      Fail("paging through " + Utf8(archive) + " failed");
      return false;
    }
    const std::optional<std::size_t> counted = CountRuns([&](Plugin& plugin) { return Browse(plugin, archive, positions); });
    row.pluginToolRuns = counted.value_or(0);
    if (withToday && std::string(order) == "in order") {
      // Each picture in a run of its own, as before reading ahead.
      WriteSettings(pluginCopy_, FolderOf(options_.tool), 0);
      const double start = WallSeconds();
      const bool browsed = Browse(*plugin_, archive, positions);
      row.oldDesignMs = (WallSeconds() - start) * 1e3;
      WriteSettings(pluginCopy_, FolderOf(options_.tool));
      if (!browsed) return false;
    }
    rows_.push_back(row);
  }
  return true;
}

// One picture on a fresh load (the list made, nothing read ahead), against
// its one bare run (xqOf -, its bytes to a file).
bool Bench::MeasureFirstPage(const std::wstring& name, std::size_t position) {
  const std::wstring archive = options_.archives + L"\\" + name;
  std::uint64_t size = 0;
  std::string bytes;
  const std::optional<std::wstring> memberPath = MemberPath(archive, 200, position, size, bytes);
  if (!memberPath) return false;
  Row row = RowFor("first page " + std::to_string(position), name.substr(name.rfind(L'.') + 1), 200);
  const std::wstring capture = bareFolder_ + L"\\capturex.txt";
  const std::wstring extract = BareExtractionCommand(options_.tool, qibor::EscapeMemberPattern(*memberPath));
  auto pluginRun = [&] { return FetchOnce(*plugin_, archive, position, size); };
  auto bareRun = [&] { return RunBare(extractFolder_, extract, archive, capture, BareErrors::None); };
  // A fresh listing before each turn ends whatever was read ahead.
  auto settle = [&] {
    SettleCaptures({capture});
    ListOnce(*plugin_, archive);
  };
  if (!Compare(row, pluginRun, bareRun, settle)) {
    Fail("the first page of " + Utf8(archive) + " failed");
    return false;
  }
  rows_.push_back(row);
  return true;
}

// The 256 MiB member fetched to memory from the cache, against its bare run
// with its bytes written to a file.
bool Bench::MeasureBigFetch() {
  const std::wstring archive = options_.archives + L"\\big-256m.tar";
  const std::vector<EntryW> records = plugin_->Records(archive);
  if (records.size() != 3) {
    Fail("cannot list " + Utf8(archive));
    return false;
  }
  const EntryW& big = records[1];
  Row row = RowFor("big fetch", L"tar", records.size());
  row.memberBytes = big.size;
  const std::wstring extract =
      BareExtractionCommand(options_.tool, std::wstring(L"video/") + std::wstring(big.name));
  const std::wstring capture = bareFolder_ + L"\\capturex.txt";
  auto pluginRun = [&] { return FetchOnce(*plugin_, archive, big.position, big.size); };
  auto bareRun = [&] { return RunBare(extractFolder_, extract, archive, capture, BareErrors::None); };
  auto settle = [&] { SettleCaptures({capture}); };
  if (!Compare(row, pluginRun, bareRun, settle)) {
    Fail("fetching the big member failed");
    return false;
  }
  rows_.push_back(row);
  return true;
}

// The memory the read-ahead keeps, with cacheMB 24 over a browse of a 50 MB
// solid 7z, in a process of its own.
bool Bench::MeasureCacheMemory() {
  const std::wstring folder = FolderOf(pluginCopy_) + L"-cache";
  MakeFolders(folder);
  const std::wstring copy = folder + L"\\qibor.sph";
  constexpr int kCacheMB = 24;
  if (!CopyFileW(options_.plugin.c_str(), copy.c_str(), FALSE) || !WriteSettings(copy, FolderOf(options_.tool), kCacheMB)) {
    Fail("cannot set up the cache measurement");
    return false;
  }
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring result = bareFolder_ + L"\\cache.txt";
  DeleteFileW(result.c_str());
  std::wstring command = QuoteArgument(self) + L" --cache-child --plugin " + QuoteArgument(copy) + L" --archive " +
                         QuoteArgument(options_.archives + L"\\browse-solid.7z") + L" --result " + QuoteArgument(result);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    Fail("cannot start the cache measurement");
    return false;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::string text;
  if (exitCode != 0 || !ReadBytes(result, text)) {
    Fail(Format("the cache measurement failed (%lu)", exitCode));
    return false;
  }
  Row row;
  row.measure = "cache memory";
  row.format = "7z";
  row.members = 200;
  char* end = text.data();
  row.baselineBytes = std::strtoull(end, &end, 10);
  row.peakBytes = std::strtoull(end, &end, 10);
  row.memberBytes = std::strtoull(end, &end, 10);  // after the unload
  row.runs = kCacheMB;
  rows_.push_back(row);
  return true;
}

bool Bench::MeasureMemory() {
  const std::wstring archive = options_.archives + L"\\big-256m.tar";
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring result = bareFolder_ + L"\\memory.txt";
  std::vector<double> peaks, baselines;
  Row row;
  row.measure = "memory";
  row.format = "tar";
  row.members = 3;
  row.runs = options_.runs;
  for (int run = 0; run < options_.runs; ++run) {
    DeleteFileW(result.c_str());
    std::wstring command = QuoteArgument(self) + L" --memory-child --plugin " + QuoteArgument(pluginCopy_) + L" --archive " +
                           QuoteArgument(archive) + L" --result " + QuoteArgument(result);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      Fail("cannot start the memory measurement");
      return false;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string text;
    if (exitCode != 0 || !ReadBytes(result, text)) {
      Fail(Format("the memory measurement failed (%lu)", exitCode));
      return false;
    }
    char* end = text.data();
    const unsigned long long size = std::strtoull(end, &end, 10);
    const unsigned long long baseline = std::strtoull(end, &end, 10);
    const unsigned long long peak = std::strtoull(end, &end, 10);
    row.memberBytes = size;
    peaks.push_back(static_cast<double>(peak));
    baselines.push_back(static_cast<double>(baseline));
  }
  row.peakBytes = static_cast<std::uint64_t>(Median(peaks));
  row.baselineBytes = static_cast<std::uint64_t>(Median(baselines));
  rows_.push_back(row);
  return true;
}

// ---- reporting ----

std::string Table(const std::vector<Row>& rows, bool markdown) {
  std::string out;
  const char* line = markdown ? "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n"
                              : "%-16s %-6s %8s %12s %12s %7s %9s %18s %22s %18s\n";
  out += Format(line, "request", "format", "members", "plug-in ms", "bare ms", "ratio", "fastest",
                "tool runs (qibor/bare)", "bare one after other ms", "bare: a core free ms");
  if (markdown) out += "| --- | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |\n";
  for (const Row& row : rows) {
    if (row.measure != "GetArchiveInfoW" && row.measure != "GetFileW") continue;
    const std::string runs = row.pluginToolRuns != 0 ? Format("%zu / %zu", row.pluginToolRuns, row.bareToolRuns)
                                                     : Format("? / %zu", row.bareToolRuns);
    out += Format(line, row.measure.c_str(), row.format.c_str(), Format("%zu", row.members).c_str(),
                  Format("%.1f", row.pluginMs).c_str(), Format("%.1f", row.bareMs).c_str(),
                  Format("%.3f", row.ratio).c_str(), Format("%.3f", row.pluginMinMs / row.bareMinMs).c_str(),
                  runs.c_str(), row.oneAfterOtherMs > 0 ? Format("%.1f", row.oneAfterOtherMs).c_str() : "",
                  row.measure == "GetArchiveInfoW" ? Format("%.1f", row.freeCoreMs).c_str() : "");
  }
  for (const Row& row : rows) {
    if (row.measure == "run counts") {
      out += Format("\ntool runs through the counting stand-in (%s, %zu members): GetArchiveInfoW %zu, GetFileW from "
                    "the cache %zu, GetFileW finding no list %zu, IsSupportedW %zu\n",
                    row.format.c_str(), row.members, row.listingRuns, row.cachedFetchRuns, row.missedFetchRuns,
                    row.supportRuns);
    } else if (row.measure.rfind("browse", 0) == 0 || row.measure.rfind("first page", 0) == 0) {
      out += Format("%s%s (%s, %zu members): %.1f ms, bare %.1f ms: ratio %.3f (fastest runs %.3f); %zu tool runs%s\n",
                    markdown ? "\n" : "", row.measure.c_str(), row.format.c_str(), row.members, row.pluginMs,
                    row.bareMs, row.ratio, row.pluginMinMs / row.bareMinMs, row.pluginToolRuns,
                    row.oldDesignMs > 0 ? Format("; each picture in a run of its own: %.1f ms, ratio %.3f",
                                                 row.oldDesignMs, row.oldDesignMs / row.bareMs).c_str()
                                        : "");
    } else if (row.measure == "cache memory") {
      out += Format("%sread-ahead with cacheMB %d, a 50 MB solid 7z paged through in reverse: private bytes %.1f MiB "
                    "before the load, %.1f MiB at the highest (%+.1f), %.1f MiB after the unload\n",
                    markdown ? "\n" : "", row.runs, Mib(row.baselineBytes), Mib(row.peakBytes),
                    (static_cast<double>(row.peakBytes) - static_cast<double>(row.baselineBytes)) / kMiB,
                    Mib(row.memberBytes));
    } else if (row.measure == "big fetch") {
      out += Format("%sfetch of a %.0f MiB member to memory: %.1f ms, its bare run (its bytes to a file) %.1f ms: "
                    "ratio %.3f (fastest runs %.3f)\n",
                    markdown ? "\n" : "", Mib(row.memberBytes), row.pluginMs, row.bareMs, row.ratio,
                    row.pluginMinMs / row.bareMinMs);
    } else if (row.measure == "memory") {
      out += Format("%sfetch of a %.0f MiB member to memory: peak private %.1f MiB (%.1f MiB before the fetch; "
                    "%+.1f MiB over the member's size)\n",
                    markdown ? "\n" : "", Mib(row.memberBytes), Mib(row.peakBytes), Mib(row.baselineBytes),
                    (static_cast<double>(row.peakBytes) - static_cast<double>(row.memberBytes)) / kMiB);
    }
  }
  return out;
}

std::string Csv(const std::vector<Row>& rows) {
  std::string out =
      "measure,format,members,runs,plugin_ms,bare_ms,ratio,own_us_per_member,own_cpu_us_per_member,plugin_min_ms,"
      "bare_min_ms,plugin_tool_runs,bare_tool_runs,failures,tool_runs,most_tool_runs,old_design_ms,bare_same_runs_ms,"
      "listing_runs,cached_fetch_runs,missed_fetch_runs,support_runs,member_bytes,peak_private_bytes,"
      "baseline_private_bytes,one_after_other_ms,free_core_ms\n";
  for (const Row& row : rows) {
    out += Format("%s,%s,%zu,%d,%.3f,%.3f,%.4f,%.3f,%.3f,%.3f,%.3f,%zu,%zu,%zu,%zu,%zu,%.3f,%.3f,%zu,%zu,%zu,%zu,"
                  "%llu,%llu,%llu,%.3f,%.3f\n",
                  row.measure.c_str(), row.format.c_str(), row.members, row.runs, row.pluginMs, row.bareMs, row.ratio,
                  row.ownUsPerMember, row.ownCpuUsPerMember, row.pluginMinMs, row.bareMinMs, row.pluginToolRuns,
                  row.bareToolRuns, row.failures, row.toolRuns, row.mostToolRuns, row.oldDesignMs, row.bareSameRunsMs,
                  row.listingRuns, row.cachedFetchRuns, row.missedFetchRuns, row.supportRuns,
                  static_cast<unsigned long long>(row.memberBytes), static_cast<unsigned long long>(row.peakBytes),
                  static_cast<unsigned long long>(row.baselineBytes), row.oneAfterOtherMs, row.freeCoreMs);
  }
  return out;
}

std::string Goals(const std::vector<Row>& rows, const Options& options) {
  std::string out;
  auto verdict = [](bool holds) { return holds ? "holds" : "MISSED"; };
  for (const char* measure : {"GetArchiveInfoW", "GetFileW"}) {
    const bool listing = std::string(measure) == "GetArchiveInfoW";
    const std::size_t runsWanted = listing ? 2 : 1;
    for (const std::wstring& wideFormat : options.formats) {
      const std::string format = Utf8(wideFormat);
      double worst = 0;
      bool any = false, runsHold = true;
      for (const Row& row : rows) {
        if (row.measure != measure || row.format != format) continue;
        worst = any ? std::max(worst, row.ratio) : row.ratio;
        any = true;
        runsHold = runsHold && row.pluginToolRuns == runsWanted;
      }
      if (!any) continue;
      out += Format("goal: %s (%s) exactly %zu tool run%s: %s; at most 5%% over the same runs started bare, at every "
                    "size: worst %+.1f%%: %s\n",
                    listing ? "GetArchiveInfoW" : "GetFileW from the cache", format.c_str(), runsWanted,
                    runsWanted == 1 ? "" : "s", verdict(runsHold), (worst - 1) * 100, verdict(worst <= 1.05));
    }
  }
  for (const Row& row : rows) {
    if (row.measure == "run counts") {
      out += Format("goal: tool runs: listing 2, fetch from the cache 1, fetch finding no list at most 3, "
                    "IsSupportedW 1: %zu, %zu, %zu, %zu: %s\n",
                    row.listingRuns, row.cachedFetchRuns, row.missedFetchRuns, row.supportRuns,
                    verdict(row.listingRuns == 2 && row.cachedFetchRuns == 1 && row.missedFetchRuns <= 3 &&
                            row.supportRuns == 1));
    } else if (row.measure.rfind("browse", 0) == 0) {
      const bool zip = row.format == "zip";
      const std::size_t mostRuns = zip ? 2 + row.members : 4;
      out += Format("goal: %s (%s) at most %zu tool runs: %zu: %s%s\n", row.measure.c_str(), row.format.c_str(),
                    mostRuns, row.pluginToolRuns, verdict(row.pluginToolRuns != 0 && row.pluginToolRuns <= mostRuns),
                    zip ? "" : Format("; at most 1.25x a bare pass and listing: %.3f: %s", row.ratio,
                                      verdict(row.ratio <= 1.25)).c_str());
    } else if (row.measure.rfind("first page", 0) == 0) {
      out += Format("goal: %s (%s) at most 1.1x its bare run: %.3f: %s\n", row.measure.c_str(), row.format.c_str(),
                    row.ratio, verdict(row.ratio <= 1.1));
    } else if (row.measure == "cache memory") {
      const double over = (static_cast<double>(row.peakBytes) - static_cast<double>(row.baselineBytes)) / kMiB;
      const double left = (static_cast<double>(row.memberBytes) - static_cast<double>(row.baselineBytes)) / kMiB;
      out += Format("goal: read-ahead at most cacheMB + 16 MiB over the process's own bytes: %+.1f <= %d: %s; back "
                    "after the unload: %+.1f MiB: %s\n",
                    over, row.runs + 16, verdict(over <= row.runs + 16), left, verdict(left <= 1.0));
    } else if (row.measure == "big fetch") {
      out += Format("goal: a %.0f MiB member to memory at most 1.05x its bare run: %.3f: %s\n", Mib(row.memberBytes),
                    row.ratio, verdict(row.ratio <= 1.05));
    } else if (row.measure == "memory") {
      const double limit = static_cast<double>(row.memberBytes) + 16 * kMiB;
      out += Format("goal: peak private bytes below the member's size + 16 MiB: %.1f < %.1f MiB: %s\n",
                    Mib(row.peakBytes), limit / kMiB, verdict(static_cast<double>(row.peakBytes) < limit));
    }
  }
  // A whole request's time over its bare runs is within the runs' noise below
  // 10,000 members; qibor_bench_pieces times qibor's own steps alone instead.
  out += "goal: own time per member flat within 1.5x from 1000 to 50000: judged by qibor_bench_pieces\n";
  return out;
}

int Bench::Run() {
  if (options_.plugin.empty() || options_.tool.empty() || options_.archives.empty()) {
    Fail("--plugin, --tool and --archives are needed");
    return 2;
  }
  // The plug-in is copied, as a viewer's plug-in folder holds it, with its
  // settings beside it.
  std::wstring work = options_.work;
  if (work.empty()) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    work = std::wstring(temp) + L"qibor-bench";
  }
  bareFolder_ = work + L"\\bare";
  extractFolder_ = bareFolder_ + L"\\extracted";
  MakeFolders(extractFolder_);
  pluginCopy_ = work + L"\\plugin\\qibor.sph";
  plugin_ = InstallPlugin(FolderOf(pluginCopy_), FolderOf(options_.tool));
  if (!plugin_) return 3;
  if (!options_.countingTool.empty()) {
    // The stand-in runs the real tool named here, and logs each run.
    const std::wstring countingFolder = bareFolder_ + L"\\counting";
    MakeFolders(countingFolder);
    SetEnvironmentVariableW(L"QIBOR_BENCH_REAL_TOOL", options_.tool.c_str());
    SetEnvironmentVariableW(L"QIBOR_BENCH_RUN_LOG", (bareFolder_ + L"\\runs.log").c_str());
    if (!CopyFileW(options_.countingTool.c_str(), (countingFolder + L"\\tar.exe").c_str(), FALSE)) {
      Fail("cannot set up the counting tool");
      return 3;
    }
    counting_ = InstallPlugin(work + L"\\plugin-counting", countingFolder);
    if (!counting_) return 3;
  }

  Print(Format("qibor_bench: median of %d runs; code page %u\n", options_.runs, GetACP()));
  for (const std::size_t members : options_.sizes) {
    for (const std::wstring& format : options_.formats) {
      const double start = WallSeconds();
      if (!MeasureListing(format, members) || !MeasureFetch(format, members)) return 1;
      const Row& listing = rows_[rows_.size() - 2];
      const Row& fetch = rows_.back();
      Print(Format("  %-3s %6zu members: GetArchiveInfoW %.3f, GetFileW %.3f (%.0f s)\n", Utf8(format).c_str(),
                   members, listing.ratio, fetch.ratio, WallSeconds() - start));
    }
  }
  if (!MeasureRunCounts()) return 1;
  if (options_.browse) {
    if (!MeasurePaging(L"browse-solid.7z", true) || !MeasurePaging(L"browse-solid.tgz", false) ||
        !MeasurePaging(L"browse-200.zip", false) || !MeasureFirstPage(L"browse-solid.7z", 0) ||
        !MeasureFirstPage(L"browse-solid.7z", 100) || !MeasureFirstPage(L"browse-200.zip", 199)) {
      return 1;
    }
  }
  if (options_.memory) {
    if (!MeasureBigFetch() || !MeasureCacheMemory()) return 1;
    plugin_.reset();  // the child loads its own
    counting_.reset();
    if (!MeasureMemory()) return 1;
  }

  const std::string table = Table(rows_, false);
  const std::string goals = Goals(rows_, options_);
  Print("\n" + table + "\n" + goals);
  if (!options_.csv.empty() && !WriteBytes(options_.csv, Csv(rows_))) Fail("cannot write " + Utf8(options_.csv));
  if (!options_.markdown.empty() && !WriteBytes(options_.markdown, Table(rows_, true) + "\n" + goals))
    Fail("cannot write " + Utf8(options_.markdown));
  return 0;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> args;
  for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  Options options;
  if (!ParseOptions(args, options)) {
    Print("usage: qibor_bench --plugin SPH --tool TAR_EXE --archives DIR [--counting-tool TAR_EXE] [--csv FILE]\n"
          "       [--markdown FILE] [--runs N] [--sizes 10,1000,10000,50000] [--formats tar,7z] [--work DIR]\n"
          "       [--skip-browse] [--skip-memory]\n");
    return 2;
  }
  if (options.memoryChild) return RunMemoryChild(options);
  if (options.cacheChild) return RunCacheChild(options);
  return Bench(options).Run();
}

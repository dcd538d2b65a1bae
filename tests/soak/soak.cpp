// Soak: loads qibor.sph like a viewer and keeps it busy for a given time with
// four threads in each of two processes (this program starts a second copy of
// itself), listing archives, looking members up and fetching them into
// memory. Every answer is checked against the fixtures' sources. At the end:
// the number of requests and of wrong answers, files left in the work folder,
// and each process's handle count and private bytes after a warm-up, after N
// and after 2N requests, which must not grow with the request count.
//
//   soak [--seconds N] [--fixtures FOLDER] [--plugin FILE] [--tool-dir FOLDER]
//
// Exit code 0 when everything held, 1 when something did not, 2 on bad usage.
#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "interface/records.h"
#include "tools/plugin_module.h"

namespace {

// Growth allowed between the measuring points, once warmed up: room for the
// heap's own bookkeeping. Pages come in 64 KiB steps, so the heap's bytes in
// use are what shows a small leak per request.
constexpr long kHandleSlack = 8;
constexpr long long kPrivateBytesSlack = 512 * 1024;
constexpr long long kHeapBytesSlack = 16 * 1024;
constexpr int kThreads = 4;

using EntryW = qibor::ArchiveEntryW;


// ---------------------------------------------------------------------------
// Small helpers.

std::wstring Widen(const char* text) {
  const int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units > 0 ? units - 1 : 0), L'\0');
  if (units > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), units);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
  if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

// A path from the build: under Wine a Linux path is drive Z:.
std::wstring BuildPath(const char* path) {
  std::wstring wide = Widen(path);
  if (!wide.empty() && wide[0] == L'/') {
    wide = L"Z:" + wide;
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
  }
  return wide;
}

std::string ReadAll(const std::wstring& path) {
  std::string bytes;
  // Long-path form: some sources are nested deeper than MAX_PATH.
  HANDLE file =
      CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[1 << 16];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  return temp;
}

std::wstring WorkFolder() { return TempFolder() + L"qibor"; }

// Files and folders below a folder, counted separately.
void CountEntries(const std::wstring& folder, int& files, int& folders) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ++folders;
      CountEntries(folder + L"\\" + name, files, folders);
    } else {
      ++files;
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

// ---------------------------------------------------------------------------
// What the fixtures hold.

struct Member {
  std::wstring name;
  std::uint64_t size;
  std::wstring source;  // below the fixture folder
  bool fetched;         // some members are listed but cannot be fetched
};

struct Archive {
  std::wstring file;
  std::vector<Member> members;  // as a set; the tool decides the order
};

std::vector<Archive> Archives() {
  const std::vector<Member> pictures = {{L"a.png", 5, L"src-pictures\\a.png", true},
                                        {L"b.jpg", 1000, L"src-pictures\\album\\b.jpg", true},
                                        {L"c.gif", 77777, L"src-pictures\\album\\2024\\c.gif", true}};
  const std::wstring n99(99, L'n');
  const std::wstring longName = std::wstring(96, L'n') + L".png";
  return {
      {L"pictures.7z", pictures},
      {L"pictures.zip", pictures},
      {L"pictures.tgz", pictures},
      {L"pictures.tar", pictures},
      {L"case.7z", {{L"other.png", 123, L"src-case\\other.png", true}, {L"pic.png", 321, L"src-case\\pic.png", true}}},
      // The 300-character path does not fit below the work folder.
      {L"longname.tar",
       {{L"first.png", 11, L"src-longname\\first.png", true},
        {longName, 22, L"src-longname\\" + n99 + L"\\" + n99 + L"\\" + longName, false},
        {L"after.png", 33, L"src-longname\\after.png", true},
        {L"last.png", 44, L"src-longname\\last.png", true}}},
  };
}

// An archive with its sources' bytes, and the members in the order the tool
// lists them, learnt from this process's first listing of it.
struct Reference {
  std::wstring path;
  std::vector<Member> expected;
  std::map<std::wstring, std::string> bytes;  // by member name
  std::mutex mutex;
  std::vector<Member> order;  // empty until listed once
};

std::vector<EntryW> Records(HLOCAL list) {
  std::vector<EntryW> records;
  if (list == nullptr) return records;
  const auto* record = static_cast<const EntryW*>(list);
  const std::size_t capacity = LocalSize(list) / sizeof(EntryW);
  for (std::size_t i = 0; i < capacity && !qibor::IsTerminator(record[i]); ++i) records.push_back(record[i]);
  return records;
}

// ---------------------------------------------------------------------------
// One process's load.

using Plugin = qibor::PluginModule;

struct Counts {
  std::atomic<long long> requests{0};
  std::atomic<long long> lists{0};
  std::atomic<long long> infos{0};
  std::atomic<long long> fetches{0};
  std::atomic<long long> refusals{0};
  std::atomic<long long> wrong{0};
};

struct Sample {
  long long requests = 0;
  DWORD handles = 0;
  long long privateBytes = 0;
  long long heapBytes = 0;
};

// How the figures were taken: Wine answers 0 for both counters, and then
// open handle values and committed private pages are counted instead.
struct Sources {
  bool handleValues = false;
  bool privatePages = false;
};

DWORD OpenHandleValues() {
  DWORD count = 0;
  for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

long long CommittedPrivatePages() {
  long long total = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (std::uintptr_t address = 0;
       VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof(region)) == sizeof(region);) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += static_cast<long long>(region.RegionSize);
    const std::uintptr_t next = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

// Bytes in use in every heap of the process: finer than pages, so a small
// leak per request shows within a short run.
long long HeapBytesInUse() {
  HANDLE heaps[256];
  const DWORD count = std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
  long long total = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += static_cast<long long>(entry.cbData);
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}

Sample Measure(const Counts& counts, Sources& sources) {
  Sample sample;
  sample.requests = counts.requests.load();
  if (!GetProcessHandleCount(GetCurrentProcess(), &sample.handles) || sample.handles == 0) {
    sources.handleValues = true;
    sample.handles = OpenHandleValues();
  }
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory)))
    sample.privateBytes = static_cast<long long>(memory.PrivateUsage);
  if (sample.privateBytes == 0) {
    sources.privatePages = true;
    sample.privateBytes = CommittedPrivatePages();
  }
  sample.heapBytes = HeapBytesInUse();
  return sample;
}

// Lets the main thread stop the workers between requests, so that handle and
// memory figures are taken with no request in flight.
class Pause {
 public:
  void Hold() {
    std::unique_lock<std::mutex> lock(mutex_);
    held_ = true;
  }
  void WaitUntilAllParked(int workers) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return parked_ == workers; });
  }
  void Release() {
    std::unique_lock<std::mutex> lock(mutex_);
    held_ = false;
    changed_.notify_all();
  }
  // Releases the workers for good: each ends at its next checkpoint. Only the
  // main thread ends them, so none can leave while it waits for all to park.
  void Stop() {
    std::unique_lock<std::mutex> lock(mutex_);
    stopped_ = true;
    held_ = false;
    changed_.notify_all();
  }
  // Called by a worker between requests; false when it is to end.
  bool Checkpoint() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (held_) {
      ++parked_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return !held_; });
      --parked_;
    }
    return !stopped_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool stopped_ = false;
  int parked_ = 0;
};

void Complain(const std::string& what) {
  std::fprintf(stderr, "soak[%lu]: wrong: %s\n", GetCurrentProcessId(), what.c_str());
}

std::vector<Member> Order(Reference& reference) {
  std::lock_guard<std::mutex> lock(reference.mutex);
  return reference.order;
}

// The first listing must hold exactly the expected members and fixes their
// order; every later one must repeat it.
bool CheckList(const Plugin& plugin, Reference& reference) {
  HLOCAL list = nullptr;
  const int result = plugin.GetArchiveInfoW(reference.path.c_str(), 0, 0, &list);
  const std::vector<EntryW> records = Records(list);
  bool right = result == 0 && records.size() == reference.expected.size() &&
               LocalSize(list) == (records.size() + 1) * sizeof(EntryW);
  std::vector<Member> order;
  for (std::size_t i = 0; right && i < records.size(); ++i) {
    const auto match = std::find_if(reference.expected.begin(), reference.expected.end(), [&](const Member& member) {
      return member.name == records[i].name && member.size == records[i].size;
    });
    right = records[i].position == i && match != reference.expected.end();
    if (right) order.push_back(*match);
  }
  if (list != nullptr) LocalFree(list);
  if (right) {
    std::lock_guard<std::mutex> lock(reference.mutex);
    if (reference.order.empty()) reference.order = order;
    for (std::size_t i = 0; i < order.size(); ++i) right = right && order[i].name == reference.order[i].name;
  }
  if (!right) Complain("list of " + Narrow(reference.path) + ": result " + std::to_string(result));
  return right;
}

bool CheckInfo(const Plugin& plugin, const Reference& reference, const std::vector<Member>& order, std::size_t index,
               bool upperCase) {
  std::wstring name = order[index].name;
  if (upperCase) CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  EntryW record{};
  const int result = plugin.GetFileInfoW(reference.path.c_str(), 0, name.c_str(), 0, &record);
  const bool right =
      result == 0 && record.position == index && record.size == order[index].size && order[index].name == record.name;
  if (!right) Complain("info " + Narrow(name) + " in " + Narrow(reference.path) + ": result " + std::to_string(result));
  return right;
}

bool CheckFetch(const Plugin& plugin, const Reference& reference, const std::vector<Member>& order, std::size_t index) {
  const std::string& expected = reference.bytes.at(order[index].name);
  HLOCAL block = nullptr;
  const int result = plugin.GetFileW(reference.path.c_str(), static_cast<LONG_PTR>(index),
                                    reinterpret_cast<LPWSTR>(&block), 0x100, nullptr, 0);
  const bool right = result == 0 && block != nullptr && LocalSize(block) == expected.size() &&
                     std::equal(expected.begin(), expected.end(), static_cast<const char*>(block));
  if (result == 0 && block != nullptr) LocalFree(block);
  if (!right) {
    Complain("fetch " + Narrow(order[index].name) + " of " + Narrow(reference.path) + ": result " +
             std::to_string(result));
  }
  return right;
}

// Requests that must fail, so that failure paths run as often as the others.
bool CheckRefusal(const Plugin& plugin, const std::wstring& fixtures, const Reference& reference, int kind) {
  HLOCAL list = nullptr;
  EntryW record{};
  int result = 0;
  int expected = 0;
  switch (kind) {
    case 0:
      result = plugin.GetArchiveInfoW((fixtures + L"\\no-such-archive.7z").c_str(), 0, 0, &list);
      expected = 6;
      break;
    case 1:
      result = plugin.GetArchiveInfoW((fixtures + L"\\photo.jpg").c_str(), 0, 0, &list);
      expected = 2;
      break;
    default:
      result = plugin.GetFileInfoW(reference.path.c_str(), 0, L"no-such-member.png", 0, &record);
      expected = -1;
      break;
  }
  if (list != nullptr) LocalFree(list);
  const bool right = result == expected && list == nullptr;
  if (!right) Complain("refusal " + std::to_string(kind) + ": result " + std::to_string(result));
  return right;
}

void Work(const Plugin& plugin, const std::wstring& fixtures, std::vector<Reference>& references,
          unsigned seed, Counts& counts, Pause& pause) {
  std::mt19937 random(seed);
  for (;;) {
    // Parked here for the last figures, too, so that every sample is taken
    // with the same threads alive.
    if (!pause.Checkpoint()) break;
    Reference& reference = references[random() % references.size()];
    const std::vector<Member> order = Order(reference);
    const unsigned roll = random() % 100;
    bool right = true;
    if (order.empty() || roll < 35) {
      right = CheckList(plugin, reference);
      ++counts.lists;
    } else if (roll < 60) {
      right = CheckInfo(plugin, reference, order, random() % order.size(), roll % 2 == 0);
      ++counts.infos;
    } else if (roll < 93) {
      const std::size_t index = random() % order.size();
      if (!order[index].fetched) continue;
      right = CheckFetch(plugin, reference, order, index);
      ++counts.fetches;
    } else {
      right = CheckRefusal(plugin, fixtures, reference, static_cast<int>(roll % 3));
      ++counts.refusals;
    }
    ++counts.requests;
    if (!right) ++counts.wrong;
  }
}

struct Outcome {
  std::string report;
  bool passed = false;
  long long requests = 0;
  long long wrong = 0;
};

Outcome RunLoad(const std::wstring& pluginFile, const std::wstring& fixtures, double seconds) {
  Outcome outcome;
  char line[512];
  const unsigned long pid = GetCurrentProcessId();

  // The sources are read before the first measurement.
  const std::vector<Archive> archives = Archives();
  std::vector<Reference> references(archives.size());
  for (std::size_t i = 0; i < archives.size(); ++i) {
    references[i].path = fixtures + L"\\" + archives[i].file;
    references[i].expected = archives[i].members;
    for (const Member& member : archives[i].members) {
      const std::string bytes = ReadAll(fixtures + L"\\" + member.source);
      if (bytes.size() != member.size) {
        std::snprintf(line, sizeof(line), "soak: %s is not in the fixtures as expected\n",
                      Narrow(member.source).c_str());
        outcome.report = line;
        return outcome;
      }
      references[i].bytes[member.name] = bytes;
    }
  }

  Plugin plugin(pluginFile);
  if (!plugin.loaded()) {
    std::snprintf(line, sizeof(line), "soak[%lu]: cannot load %s\n", pid, Narrow(pluginFile).c_str());
    outcome.report = line;
    return outcome;
  }

  // Warm up, then measure with every worker parked: after the warm-up,
  // after N more requests (half-way through the rest) and after 2N.
  Counts counts;
  Pause pause;
  Sources sources;
  const auto start = std::chrono::steady_clock::now();
  const auto at = [&](double fraction) {
    return start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                       std::chrono::duration<double>(seconds * fraction));
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back(Work, std::cref(plugin), std::cref(fixtures), std::ref(references),
                         static_cast<unsigned>(pid * 31 + static_cast<unsigned long>(t)), std::ref(counts),
                         std::ref(pause));
  }
  Sample samples[3];
  const double points[3] = {0.2, 0.6, 1.0};
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_until(at(points[i]));
    pause.Hold();
    pause.WaitUntilAllParked(kThreads);
    // A listing empties qibor's list cache first, so samples do not differ
    // by the lists it happens to hold.
    HLOCAL none = nullptr;
    plugin.GetArchiveInfoW((fixtures + L"\\no-such-archive.7z").c_str(), 0, 0, &none);
    samples[i] = Measure(counts, sources);
    if (i == 2) {
      pause.Stop();
    } else {
      pause.Release();
    }
  }
  for (std::thread& thread : threads) thread.join();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  plugin.Unload();

  const long long firstN = samples[1].requests - samples[0].requests;
  const long long secondN = samples[2].requests - samples[1].requests;
  const long handleGrowth = static_cast<long>(samples[2].handles) - static_cast<long>(samples[0].handles);
  const long lateHandleGrowth = static_cast<long>(samples[2].handles) - static_cast<long>(samples[1].handles);
  const long long memoryGrowth = samples[2].privateBytes - samples[0].privateBytes;
  const long long lateMemoryGrowth = samples[2].privateBytes - samples[1].privateBytes;
  const long long heapGrowth = samples[2].heapBytes - samples[0].heapBytes;
  const long long lateHeapGrowth = samples[2].heapBytes - samples[1].heapBytes;
  const bool stable = handleGrowth <= kHandleSlack && lateHandleGrowth <= kHandleSlack &&
                      memoryGrowth <= 2 * kPrivateBytesSlack && lateMemoryGrowth <= kPrivateBytesSlack &&
                      heapGrowth <= 2 * kHeapBytesSlack && lateHeapGrowth <= kHeapBytesSlack;

  std::snprintf(line, sizeof(line),
                "soak[%lu]: %.1f s, %d threads: %lld requests (%lld lists, %lld lookups, %lld fetches, %lld "
                "refusals), %lld wrong\n",
                pid, elapsed, kThreads, counts.requests.load(), counts.lists.load(), counts.infos.load(),
                counts.fetches.load(), counts.refusals.load(), counts.wrong.load());
  outcome.report += line;
  std::snprintf(line, sizeof(line),
                "soak[%lu]: handles%s: %lu after warm-up (%lld requests), %lu after N=%lld more, %lu after "
                "2N=%lld more\n",
                pid, sources.handleValues ? " (open handle values)" : "", samples[0].handles, samples[0].requests,
                samples[1].handles, firstN, samples[2].handles, firstN + secondN);
  outcome.report += line;
  std::snprintf(line, sizeof(line),
                "soak[%lu]: private bytes%s: %lld KiB after warm-up, %lld KiB after N, %lld KiB after 2N\n", pid,
                sources.privatePages ? " (committed private pages)" : "", samples[0].privateBytes / 1024,
                samples[1].privateBytes / 1024, samples[2].privateBytes / 1024);
  outcome.report += line;
  std::snprintf(line, sizeof(line), "soak[%lu]: heap bytes in use: %lld after warm-up, %lld after N, %lld after 2N\n",
                pid, samples[0].heapBytes, samples[1].heapBytes, samples[2].heapBytes);
  outcome.report += line;
  if (!stable) outcome.report += "soak: handles, private bytes or heap bytes grew with the request count\n";
  if (firstN == 0 || secondN == 0) outcome.report += "soak: note: too few requests for a meaningful comparison\n";
  outcome.requests = counts.requests.load();
  outcome.wrong = counts.wrong.load();
  outcome.passed = outcome.wrong == 0 && stable;
  return outcome;
}

// ---------------------------------------------------------------------------

struct Options {
  double seconds = 60;
  std::wstring fixtures = BuildPath(QIBOR_FIXTURE_DIR);
  std::wstring plugin = BuildPath(QIBOR_PLUGIN);
  std::wstring toolDir = BuildPath(QIBOR_TOOL_DIR);
  std::wstring workerFolder;  // set in the second process
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (i + 1 >= argc) return false;
    const std::wstring value = argv[++i];
    if (arg == L"--seconds") {
      options.seconds = _wtof(value.c_str());
      if (options.seconds <= 0) return false;
    } else if (arg == L"--fixtures") {
      options.fixtures = value;
    } else if (arg == L"--plugin") {
      options.plugin = value;
    } else if (arg == L"--tool-dir") {
      options.toolDir = value;
    } else if (arg == L"--worker") {
      options.workerFolder = value;
    } else {
      return false;
    }
  }
  return true;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

int RunWorker(const Options& options) {
  const Outcome outcome = RunLoad(options.workerFolder + L"\\qibor.sph", options.fixtures, options.seconds);
  HANDLE report = CreateFileW((options.workerFolder + L"\\worker-report.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
  if (report != INVALID_HANDLE_VALUE) {
    // The counts first, for the first process's totals.
    const std::string text =
        std::to_string(outcome.requests) + " " + std::to_string(outcome.wrong) + "\n" + outcome.report;
    DWORD written = 0;
    WriteFile(report, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(report);
  }
  return outcome.passed ? 0 : 1;
}

int RunParent(const Options& options) {
  // Both processes load one copy of the plug-in, with its own settings file.
  const std::wstring folder = TempFolder() + L"qibor-soak-" + std::to_wstring(GetCurrentProcessId());
  RemoveTree(folder);
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring plugin = folder + L"\\qibor.sph";
  if (!CopyFileW(options.plugin.c_str(), plugin.c_str(), FALSE)) {
    std::fprintf(stderr, "soak: cannot copy %s\n", Narrow(options.plugin).c_str());
    return 2;
  }
  const std::wstring ini = folder + L"\\qibor.ini";
  WritePrivateProfileStringW(L"UserSetting", L"dir", options.toolDir.c_str(), ini.c_str());
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, ini.c_str());

  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = Quoted(self) + L" --worker " + Quoted(folder) + L" --seconds " +
                         std::to_wstring(options.seconds) + L" --fixtures " + Quoted(options.fixtures);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "soak: cannot start the second process\n");
    return 2;
  }
  CloseHandle(process.hThread);

  const Outcome own = RunLoad(plugin, options.fixtures, options.seconds);
  WaitForSingleObject(process.hProcess, static_cast<DWORD>(options.seconds * 1000 + 300000));
  DWORD workerExit = 1;
  GetExitCodeProcess(process.hProcess, &workerExit);
  CloseHandle(process.hProcess);
  std::string workerReport = ReadAll(folder + L"\\worker-report.txt");
  long long workerRequests = 0;
  long long workerWrong = 0;
  const std::size_t countsEnd = workerReport.find('\n');
  if (countsEnd != std::string::npos) {
    char* rest = nullptr;
    workerRequests = std::strtoll(workerReport.c_str(), &rest, 10);
    workerWrong = std::strtoll(rest, nullptr, 10);
    workerReport.erase(0, countsEnd + 1);
  }

  // Both processes are done: nothing of theirs may be left in the work folder.
  int files = 0;
  int folders = 0;
  CountEntries(WorkFolder(), files, folders);
  RemoveTree(folder);

  std::printf("%s%s", own.report.c_str(),
              workerReport.empty() ? "soak: the second process gave no report\n" : workerReport.c_str());
  std::printf("soak: %.0f s, 2 processes x %d threads: %lld requests, %lld wrong\n", options.seconds, kThreads,
              own.requests + workerRequests, own.wrong + workerWrong);
  std::printf("soak: %d leftover files in the work folder (%d folders)\n", files, folders);
  const bool passed = own.passed && workerExit == 0 && !workerReport.empty() && files == 0;
  std::printf("soak: %s\n", passed ? "PASS" : "FAIL");
  std::fflush(stdout);
  return passed ? 0 : 1;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  Options options;
  const bool parsed = argv != nullptr && ParseOptions(argc, argv, options);
  LocalFree(argv);
  if (!parsed) {
    std::fprintf(stderr, "usage: soak [--seconds N] [--fixtures FOLDER] [--plugin FILE] [--tool-dir FOLDER]\n");
    return 2;
  }
  return options.workerFolder.empty() ? RunParent(options) : RunWorker(options);
}

// qibor_bench_pieces: qibor's own work in a request, without the tool's runs.
// Runs the steps of a listing and of a fetch one by one with qibor's own
// functions (linked in, not through the exports), takes the median time of
// each step, and sums the steps that are qibor's own work. For several
// archives it prints the own time per member and whether it stays flat.
//
// usage: qibor_bench_pieces --tool TAR_EXE --archive FILE [--archive FILE ...]
//                           [--runs N] [--seconds S] [--steps] [--csv FILE]
//
// Each archive is measured at least N times (5) and until S seconds (10) have
// passed, at most 100 times; the figures are the medians.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/clock.h"
#include "extract/extract_member.h"
#include "extract/member_path.h"
#include "extract/written_files.h"
#include "floor/code_page_text.h"
#include "floor/files.h"
#include "floor/folder_tree.h"
#include "floor/unique_any.h"
#include "floor/win_path.h"
#include "interface/records.h"
#include "interface/settings.h"
#include "listing/compact_list.h"
#include "listing/kept_members.h"
#include "listing/listing_builder.h"
#include "listing/listing_cache.h"
#include "listing/member_size.h"
#include "probe/probe.h"
#include "requests/archive_list.h"
#include "tool/captures.h"
#include "tool/commands.h"
#include "tool/request_lock.h"
#include "tool/run_tool.h"
#include "tool/work_folder.h"

namespace {

using namespace qibor;

// Steps named "tool: ..." are the tool's runs and "host: ..." the host's work;
// every other step is qibor's own.
bool IsOwnStep(const std::string& name) { return name.rfind("tool: ", 0) != 0 && name.rfind("host: ", 0) != 0; }

class Steps {
 public:
  // Times one step and keeps the figure under its name, in first-seen order.
  template <typename Fn>
  auto Time(const std::string& name, Fn fn) {
    const double start = WallSeconds();
    auto result = fn();
    const double seconds = WallSeconds() - start;
    if (times_.find(name) == times_.end()) order_.push_back(name);
    times_[name].push_back(seconds);
    return result;
  }

  void Print(const char* title) const {
    std::printf("  %s\n", title);
    for (const std::string& name : order_) std::printf("    %-50s %10.2f ms\n", name.c_str(), Median(name) * 1e3);
    std::printf("    %-50s %10.2f ms\n", "qibor's own work (the sum of its steps)", OwnSeconds() * 1e3);
  }

  double OwnSeconds() const {
    double total = 0;
    for (const std::string& name : order_) total += IsOwnStep(name) ? Median(name) : 0;
    return total;
  }

 private:
  double Median(const std::string& name) const {
    std::vector<double> values = times_.at(name);
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  }

  std::vector<std::string> order_;
  std::map<std::string, std::vector<double>> times_;
};

// What a listing does before it runs the tool: the request lock, the
// archive's header at the offset and its size and time through one handle
// (kept open for its identity, read while the plain run goes), and (in the
// listing builder) its time through another.
struct OpenedArchive {
  UniqueHandle handle;
  ListOrigin origin;
};
OpenedArchive LockAndReadTheArchive(const std::wstring& archive, const Settings& settings) {
  RequestLock lock;
  auto open = [&] {
    return UniqueHandle(CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  };
  unsigned char header[8] = {};
  DWORD read = 0;
  OpenedArchive opened{open(), {}};
  const bool headerRead =
      ReadFile(opened.handle.get(), header, sizeof(header), &read, nullptr) && read == sizeof(header);
  opened.origin = QuickOriginOf(opened.handle.get(), settings);
  FILETIME lastWrite{};
  if (!headerRead || !GetFileTime(open().get(), nullptr, nullptr, &lastWrite)) opened.handle.reset();
  return opened;
}

struct Figures {
  std::wstring archive;
  std::string format;  // the archive's extension
  std::size_t members = 0;
  int runs = 0;
  double listingOwnMs = 0, fetchOwnMs = 0;
};

// Runs every step of a listing and of a fetch of the middle member `runs`
// times; prints the median of each step when asked.
std::optional<Figures> Measure(const std::wstring& tool, const std::wstring& archive, int minimumRuns,
                               double minimumSeconds, bool printSteps) {
  // The steps run in one request folder, as a request's do.
  RequestScope request;
  if (request.folder().empty()) return std::nullopt;
  const std::size_t dot = archive.find_last_of(L'.');
  const std::wstring extension = dot == std::wstring::npos ? std::wstring() : archive.substr(dot);
  const bool checkNames = ExtensionInList(extension, kDefaultTarExtensions);
  Steps listing, fetch;
  std::size_t members = 0;
  ListingCache cache;
  // A small archive's own work is a few milliseconds, close to the spread of
  // its fixed part: it gets more runs, until the time asked for has passed.
  constexpr int kMostRuns = 100;
  const double started = WallSeconds();
  int runs = 0;
  for (; runs < minimumRuns || (WallSeconds() - started < minimumSeconds && runs < kMostRuns); ++runs) {
    // The listing, step by step, as the plug-in takes them: the work that
    // overlaps the verbose run in a real request (naming the lines, then
    // pairing them as the verbose run writes) is timed on its own here.
    const Settings settings = listing.Time("read the settings (one read, four values)", [&] { return ReadSettings(); });
    OpenedArchive opened = listing.Time("lock, the archive's header, size and time",
                                        [&] { return LockAndReadTheArchive(archive, settings); });
    ListOrigin origin = opened.origin;
    listing.Time("the archive's identity (overlaps the plain run)",
                 [&] { return AddFileIdentity(opened.handle.get(), origin); });
    opened.handle.reset();
    listing.Time("check the tool is there", [&] { return FileExists(tool); });
    UniqueLocal list;
    // The cache reuses the storage of the list it dropped, as the plug-in's
    // cache does from the second listing on.
    std::unique_ptr<CompactList> compact = cache.TakeSpare();
    if (!compact) compact = std::make_unique<CompactList>();
    std::size_t lineCount = 0;
    {
      ListingCaptures captures;
      listing.Time("make the three capture files, gone with their last handle",
                   [&] { return CreateListingCaptureFiles(captures); });
      listing.Time("tool: plain run", [&] {
        const UniqueHandle input = OpenArchiveInput(archive);
        RunningTool run = StartHiddenIn(request.folder(), PlainListingCommand(tool), input.get(),
                                        captures.plainFile.get(), nullptr);
        run.Wait();
        return run.exitCode() == 0;
      });
      listing.Time("tool: verbose run, its errors captured apart", [&] {
        const UniqueHandle input = OpenArchiveInput(archive);
        RunningTool run = StartHiddenIn(request.folder(), VerboseListingCommand(tool), input.get(),
                                        captures.verboseFile.get(), captures.errorsFile.get());
        run.Wait();
        return run.exitCode() == 0;
      });
      listing.Time("open the two captures", [&] {
        return OpenCapture(PlainListingFile(), captures.plain) && OpenCapture(VerboseListingFile(), captures.verbose);
      });
      // A long listing's lines are named by the pass, as the plug-in does.
      std::optional<UINT> nameInPass;
      listing.Time("make the records, name every plain line of a short listing (overlaps the verbose run)", [&] {
        if (MakeRecordsForEveryLine(captures.plain, list, lineCount) != Success) return false;
        if (lineCount >= kLongListingLines) {
          nameInPass = ToolOutputCodePage();
          return true;
        }
        return NameLines(captures.plain, ToolOutputCodePage(), list.as<ArchiveEntryW>(), lineCount) == Success;
      });
      VerboseJudgement judgement{checkNames, {}};
      const std::optional<std::size_t> kept =
          listing.Time("pair the lines, keep the members (naming a long listing's), copy them for the cache, judge them (overlaps the verbose run)", [&] {
            return KeepMembers(captures, SizeLimitFromMaxMB(4096), 1700000000, list, lineCount, compact.get(),
                               &judgement, nameInPass);
          });
      const bool accepted = listing.Time("judge the error stream", [&] {
        return ErrorsLeaveAnArchive(judgement.lines, VerboseErrorsFile(), true);
      });
      if (!accepted) {
        std::printf("qibor_bench_pieces: the listing refused %ls\n", archive.c_str());
        return std::nullopt;
      }
      if (!kept || *kept == 0) {
        std::printf("qibor_bench_pieces: no members listed in %ls\n", archive.c_str());
        return std::nullopt;
      }
      members = *kept;
      compact->toolPaths.origin = origin;
      listing.Time("close the three captures, which deletes them", [&] {
        CloseListingCaptures(captures);
        return true;
      });
    }
    listing.Time("keep the compact copy in the cache", [&] {
      cache.Store(archive, std::move(compact));
      return true;
    });
    listing.Time("host: frees the list", [&] { return LocalFree(list.release()); });

    // The fetch of the middle member from the cached list: one run.
    fetch.Time("lock", [&] {
      RequestLock lock;
      return lock.held();
    });

    const Settings fetchSettings = fetch.Time("read the settings (one read)", [&] { return ReadSettings(); });
    ArchiveEntryW record{};
    std::string memberBytes;
    FetchFacts facts;
    const int found = fetch.Time("find the member in the cache", [&] {
      return cache.Lookup(archive, MemberQuery{{}, members / 2, true}, record, &memberBytes, &facts);
    });
    if (found != Success || !facts.soleMatch) {
      std::printf("qibor_bench_pieces: the middle member of %ls takes more than one run\n", archive.c_str());
      return std::nullopt;
    }
    UniqueHandle input;
    ListOrigin now;
    fetch.Time("open the archive, read its size and time", [&] {
      input = OpenArchiveInput(archive, Writers::KeptOut);
      now = QuickOriginOf(input.get(), fetchSettings);
      return now.size == facts.origin.size;
    });
    const bool same = fetch.Time("read its identity, compare (overlaps the extraction run)", [&] {
      return AddFileIdentity(input.get(), now) && now == facts.origin;
    });
    std::optional<AloneRun> run;  // the one extraction run
    std::optional<std::wstring> relative;
    fetch.Time("check where the member will be written", [&] {
      run = PlanAloneRun(memberBytes);
      if (run) relative = run->written;
      return relative && FullPathOf(request.folder() + L"\\" + *relative) == request.folder() + L"\\" + *relative;
    });
    UniqueHandle capture;
    fetch.Time("tool: extraction run", [&] {
      if (!run) return false;
      capture = CreateScratch(ExtractionOutputFile());
      RunningTool extraction = StartHiddenIn(request.folder(), ExtractionCommand(tool, run->arguments), input.get(),
                                             capture.get(), capture.get());
      extraction.Wait();
      return extraction.exitCode() == 0;
    });
    input.reset();
    fetch.Time("read the extraction's capture, which goes as it closes", [&] {
      const std::optional<std::string> output = ReadFromStart(capture.get());
      capture.reset();
      return output.has_value();
    });
    const bool alone = fetch.Time("check the run wrote the member alone", [&] {
      return same && relative && OnlyFileWritten(request.folder(), *relative, kCaptureFileNames);
    });
    UniqueLocal block;
    fetch.Time("read the member into a block", [&] {
      return relative ? LoadFileIntoBlock(request.folder() + L"\\" + *relative, block) : 6;
    });
    fetch.Time("remove the member and its folders by name", [&] {
      return relative && RemoveFileAndItsFolders(request.folder(), *relative);
    });
    fetch.Time("remove the request's folder, make the next", [&] {
      return RemoveTree(request.folder()) && CreateDirectoryW(request.folder().c_str(), nullptr);
    });
    const bool delivered = alone && block && LocalSize(block.get()) == static_cast<SIZE_T>(record.size);
    fetch.Time("host: frees the member", [&] { return LocalFree(block.release()); });
    if (!delivered) {
      std::printf("qibor_bench_pieces: the extraction from %ls failed\n", archive.c_str());
      return std::nullopt;
    }
  }
  Figures figures;
  figures.archive = archive;
  for (std::size_t i = 1; i < extension.size(); ++i) figures.format.push_back(static_cast<char>(extension[i]));
  figures.members = members;
  figures.runs = runs;
  figures.listingOwnMs = listing.OwnSeconds() * 1e3;
  figures.fetchOwnMs = fetch.OwnSeconds() * 1e3;
  if (printSteps) {
    std::printf("%ls: %zu members, median of %d runs\n", archive.c_str(), members, runs);
    listing.Print("GetArchiveInfoW");
    fetch.Print("GetFileW to memory");
  }
  return figures;
}

// Below this, work beyond a request's fixed cost is not told from noise.
constexpr double kNoiseMicroseconds = 0.1;

// Own time per member, and per member beyond the fixed cost of a request:
// what the smallest archive of the same format costs is taken as fixed.
struct PerMember {
  double whole = 0, beyondFixed = 0;
  bool hasFixed = false;
};

PerMember PerMemberOf(const std::vector<Figures>& all, const Figures& figures, bool fetch) {
  PerMember per;
  const double own = fetch ? figures.fetchOwnMs : figures.listingOwnMs;
  per.whole = own * 1e3 / static_cast<double>(figures.members);
  const Figures* smallest = nullptr;
  for (const Figures& other : all) {
    if (other.format == figures.format && (smallest == nullptr || other.members < smallest->members)) smallest = &other;
  }
  if (smallest != nullptr && smallest->members < figures.members) {
    const double fixed = fetch ? smallest->fetchOwnMs : smallest->listingOwnMs;
    per.beyondFixed = (own - fixed) * 1e3 / static_cast<double>(figures.members - smallest->members);
    per.hasFixed = true;
  }
  return per;
}

std::string Summary(const std::vector<Figures>& all, bool csv) {
  std::string out;
  char line[256];
  if (csv) {
    out = "request,format,members,runs,own_ms,own_us_per_member,beyond_fixed_us_per_member\n";
  } else {
    out = "qibor's own work, each step timed alone (the tool's runs and the host's work left out), medians:\n";
    std::snprintf(line, sizeof line, "%-16s %-6s %8s %5s %10s %12s %16s\n", "request", "format", "members", "runs",
                  "own ms", "us/member", "beyond fixed us");
    out += line;
  }
  for (const bool fetch : {false, true}) {
    for (const Figures& figures : all) {
      const PerMember per = PerMemberOf(all, figures, fetch);
      const char* request = fetch ? "GetFileW" : "GetArchiveInfoW";
      const double own = fetch ? figures.fetchOwnMs : figures.listingOwnMs;
      char beyond[32] = "";
      if (per.hasFixed) std::snprintf(beyond, sizeof beyond, "%.2f", per.beyondFixed);
      if (csv) {
        std::snprintf(line, sizeof line, "%s,%s,%zu,%d,%.3f,%.3f,%s\n", request, figures.format.c_str(),
                      figures.members, figures.runs, own, per.whole, beyond);
      } else {
        std::snprintf(line, sizeof line, "%-16s %-6s %8zu %5d %10.2f %12.2f %16s\n", request, figures.format.c_str(),
                      figures.members, figures.runs, own, per.whole, per.hasFixed ? beyond : "(fixed)");
      }
      out += line;
    }
  }
  return out;
}

// The goal: own time per member flat within 1.5x from 1,000 to 50,000
// members, judged on the whole own time and on the part beyond the fixed cost.
std::string Goals(const std::vector<Figures>& all) {
  std::string out;
  std::vector<std::string> formats;
  for (const Figures& figures : all) {
    if (std::find(formats.begin(), formats.end(), figures.format) == formats.end()) formats.push_back(figures.format);
  }
  for (const bool fetch : {false, true}) {
    for (const std::string& format : formats) {
      std::vector<PerMember> pers;
      std::string sizes;
      for (const Figures& figures : all) {
        if (figures.format != format || figures.members < 1000 || figures.members > 50000) continue;
        pers.push_back(PerMemberOf(all, figures, fetch));
        if (!sizes.empty()) sizes.push_back('/');
        sizes.append(std::to_string(figures.members));
      }
      if (pers.size() < 2) continue;
      auto verdict = [&](bool beyond) {
        std::string figuresText;
        double low = 1e300, high = -1e300, previous = 1e300;
        bool falling = true;  // each larger archive costs less a member
        for (const PerMember& per : pers) {
          const double value = beyond ? per.beyondFixed : per.whole;
          falling = falling && value <= previous;
          previous = value;
          if (beyond && !per.hasFixed) return std::string("no smaller archive to take the fixed cost from");
          low = std::min(low, value);
          high = std::max(high, value);
          char figure[32];
          std::snprintf(figure, sizeof figure, "%s%.2f", figuresText.empty() ? "" : " / ", value);
          figuresText += figure;
        }
        if (low > 0 && high <= 1.5 * low) return figuresText + " us: holds";
        // A difference of medians this small is the timing's noise, and its
        // sign moves between runs: no ratio of such figures means anything.
        if (beyond && high < kNoiseMicroseconds) {
          return figuresText + " us: holds (under 0.1 us a member at every size: nothing grows with the archive)";
        }
        // Work that does not grow with the archive is spread over more
        // members as it grows: not flat, but never worse.
        if (falling) return figuresText + " us: falls as the archive grows (not within 1.5x, never growing)";
        return figuresText + " us: MISSED";
      };
      out += std::string("goal: ") + (fetch ? "GetFileW" : "GetArchiveInfoW") + " (" + format +
             ") own time per member flat within 1.5x at " + sizes + " members:\n  whole own time: " + verdict(false) +
             "\n  beyond the fixed cost of a request: " + verdict(true) + "\n";
    }
  }
  return out;
}

bool WriteText(const std::wstring& path, const std::string& text) {
  UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file.valid() && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring tool, csv;
  std::vector<std::wstring> archives;
  int runs = 5;
  double seconds = 10;
  bool printSteps = false;
  for (int i = 1; i < count; ++i) {
    const std::wstring name = argv[i];
    if (name == L"--steps") {
      printSteps = true;
      continue;
    }
    if (i + 1 >= count) break;
    const std::wstring value = argv[++i];
    if (name == L"--tool") tool = value;
    else if (name == L"--archive") archives.push_back(value);
    else if (name == L"--csv") csv = value;
    else if (name == L"--runs") runs = std::max(1, _wtoi(value.c_str()));
    else if (name == L"--seconds") seconds = std::max(0.0, _wtof(value.c_str()));
  }
  LocalFree(argv);
  if (tool.empty() || archives.empty()) {
    std::printf("usage: qibor_bench_pieces --tool TAR_EXE --archive FILE [--archive FILE ...] [--runs N]\n"
                "                          [--seconds S] [--steps] [--csv FILE]\n");
    return 2;
  }
  // The probe and the build read the tool's folder from the settings file
  // beside this program, as the plug-in does beside itself.
  const std::wstring settings = SettingsPath();
  const std::wstring toolFolder = tool.substr(0, tool.find_last_of(L"\\/"));
  if (settings.empty() || !WritePrivateProfileStringW(L"UserSetting", L"dir", toolFolder.c_str(), settings.c_str()) ||
      !WritePrivateProfileStringW(L"UserSetting", L"maxMB", L"4096", settings.c_str())) {
    std::printf("qibor_bench_pieces: cannot write the settings file\n");
    return 2;
  }
  std::vector<Figures> all;
  for (const std::wstring& archive : archives) {
    const std::optional<Figures> figures = Measure(tool, archive, runs, seconds, printSteps);
    if (!figures) return 1;
    all.push_back(*figures);
  }
  std::printf("\n%s\n%s", Summary(all, false).c_str(), Goals(all).c_str());
  if (!csv.empty() && !WriteText(csv, Summary(all, true) + Goals(all))) {
    std::printf("qibor_bench_pieces: cannot write %ls\n", csv.c_str());
    return 1;
  }
  return 0;
}

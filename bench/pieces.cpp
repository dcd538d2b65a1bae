// qibor_bench_pieces: where a request's time goes. Runs the steps of a
// listing and of a fetch one by one with qibor's own functions (linked in, not
// through the exports) and prints the median time of each step.
//
// usage: qibor_bench_pieces --tool TAR_EXE --archive FILE [--runs N]
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/clock.h"
#include "extract/member_path.h"
#include "interface/records.h"
#include "interface/settings.h"
#include "interface/win_owners.h"
#include "interface/win_path.h"
#include "listing/captured_lines.h"
#include "listing/compact_list.h"
#include "listing/kept_members.h"
#include "listing/listing_builder.h"
#include "listing/member_size.h"
#include "listing/tar_tool.h"
#include "probe/probe.h"
#include "probe/probe_lines.h"
#include "probe/text_encoding.h"

namespace {

using namespace qibor;

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
    std::printf("%s\n", title);
    double total = 0;
    for (const std::string& name : order_) {
      std::vector<double> values = times_.at(name);
      std::sort(values.begin(), values.end());
      const double median = values[values.size() / 2];
      if (name.find("not in the sum") == std::string::npos) total += median;
      std::printf("  %-44s %10.2f ms\n", name.c_str(), median * 1e3);
    }
    std::printf("  %-44s %10.2f ms\n", "sum of the medians", total * 1e3);
  }

  // Sum of the medians but the named runs, with `over` counted as its excess
  // over `base`.
  double OwnSeconds(const std::vector<std::string>& runs, const std::string& over, const std::string& base) const {
    double total = 0;
    for (const std::string& name : order_) {
      if (std::find(runs.begin(), runs.end(), name) != runs.end() || name.find("not in the sum") != std::string::npos) {
        continue;
      }
      total += name == over ? Median(name) - Median(base) : Median(name);
    }
    return total;
  }
  double Median(const std::string& name) const {
    std::vector<double> values = times_.at(name);
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  }

 private:
  std::vector<std::string> order_;
  std::map<std::string, std::vector<double>> times_;
};

// A bare run: the tool with its capture, which is then deleted unread.
bool BareRun(Steps& steps, const std::string& label, const std::wstring& command, const std::wstring& file,
             ErrorStream errors) {
  const bool started = steps.Time(label, [&] { return RunHidden(command, file, errors); });
  DeleteFileRetrying(file);
  return started;
}

int Run(const std::wstring& tool, const std::wstring& archive, int runs) {
  EnsureWorkDirectory();
  Steps listing, fetch;
  std::size_t members = 0;
  for (int run = 0; run < runs; ++run) {
    // The listing, step by step: the work that overlaps the verbose run in a
    // real build is timed on its own here.
    listing.Time("read the settings (four values)", [&] {
      return ToolPath().size() + ReadTarExtensions().size() + ToolPath().size() + static_cast<std::size_t>(ReadMaxMB());
    });
    BareRun(listing, "bare probe run", VerboseListingCommand(tool, archive), PlainListingFile(), ErrorStream::Capture);
    RunHidden(VerboseListingCommand(tool, archive), PlainListingFile(), ErrorStream::Capture);
    listing.Time("probe's reading alone (not in the sum)", [&] {
      CaptureStream output;
      OpenCapture(PlainListingFile(), output);
      CapturedLine line;
      std::string name;
      std::size_t plain = 0;
      while (ReadLine(output, line)) {
        name.assign(VerboseLineName(line.text));
        name.push_back('\n');
        plain += !IsOpenErrorLine(line.text) &&
                 ClassifyTextEncoding(reinterpret_cast<const unsigned char*>(name.data()),
                                      static_cast<std::uint32_t>(name.size())) == TextAscii;
      }
      return plain;
    });
    const unsigned char header[8] = {};
    listing.Time("probe: the same run, read and check its lines", [&] { return ProbeArchive(archive, header); });
    UniqueLocal list;
    std::size_t lineCount = 0;
    {
      ListingCaptures captures;
      listing.Time("plain run", [&] {
        return RunHidden(PlainListingCommand(tool, archive), PlainListingFile(), ErrorStream::Discard);
      });
      listing.Time("verbose run", [&] {
        return RunHidden(VerboseListingCommand(tool, archive), VerboseListingFile(), ErrorStream::Discard);
      });
      OpenCapture(PlainListingFile(), captures.plain);
      OpenCapture(VerboseListingFile(), captures.verbose);
      listing.Time("name every plain line (overlaps the verbose run)", [&] {
        return NameEveryLine(captures.plain, ToolOutputCodePage(), list, lineCount);
      });
      const std::optional<std::size_t> kept = listing.Time("pair the lines, keep the members", [&] {
        return KeepMembers(captures, SizeLimitFromMaxMB(4096), 1700000000, list, lineCount);
      });
      if (!kept || *kept == 0) {
        std::printf("qibor_bench_pieces: no members listed\n");
        return 1;
      }
      members = *kept;
      captures.plain.file.reset();
      captures.verbose.file.reset();
      listing.Time("delete the two captures", [&] {
        return DeleteFileRetrying(PlainListingFile()) && DeleteFileRetrying(VerboseListingFile());
      });
    }
    HLOCAL whole = nullptr;
    listing.Time("whole build, the same runs (not in the sum)", [&] { return BuildListing(archive, &whole); });
    LocalFree(whole);
    const CompactList compact = listing.Time("compact copy for the cache", [&] {
      return CompactListOf(list.as<ArchiveEntryW>(), LocalSize(list.get()) / sizeof(ArchiveEntryW));
    });
    listing.Time("the host frees the list", [&] { return LocalFree(list.release()); });

    // The fetch of the middle member: the listing again, then the extraction.
    std::string memberBytes;
    {
      ListingCaptures captures;
      fetch.Time("both runs, plain capture opened", [&] { return RunListings(tool, archive, captures); });
      fetch.Time("pair the lines up to the member", [&] {
        std::size_t seen = 0;
        return ForEachKeptMember(captures, SizeLimitFromMaxMB(4096), [&](const KeptMember&, std::string_view line) {
          if (seen++ < members / 2) return true;
          memberBytes.assign(line);
          return false;
        });
      });
      fetch.Time("rescan the plain lines for copies", [&] {
        std::size_t same = 0;
        CapturedLine line;
        RewindCapture(captures.plain);
        while (ReadLine(captures.plain, line)) same += line.text == memberBytes ? 1 : 0;
        return same;
      });
    }
    const std::wstring memberPath = DecodeToolText(memberBytes, ToolOutputCodePage());
    const std::wstring work = WorkDirectory();
    const std::wstring extracted = CombinePath(work, ExtractedRelativePath(memberPath));
    const std::wstring command = QuoteArgument(tool) + L" xf " + QuoteArgument(archive) + L" -C" +
                                 QuoteArgument(work) + L" -- " + QuoteArgument(EscapeMemberPattern(memberPath));
    fetch.Time("extract: run the tool", [&] { return RunHidden(command, PlainListingFile(), ErrorStream::Capture); });
    DeleteFileRetrying(PlainListingFile());
    const std::optional<std::string> bytes =
        fetch.Time("extract: read the member", [&] { return ReadWholeFile(extracted); });
    fetch.Time("extract: delete the member", [&] { return DeleteFileRetrying(extracted); });
    if (!bytes || bytes->empty()) {
      std::printf("qibor_bench_pieces: the extraction failed\n");
      return 1;
    }
  }
  std::printf("qibor_bench_pieces: %zu members, median of %d runs\n", members, runs);
  listing.Print("GetArchiveInfoW");
  std::printf("  own work a member (steps but the runs, the probe's over its bare run): %.2f us\n",
              listing.OwnSeconds({"bare probe run", "plain run", "verbose run"}, "probe: the same run, read and check its lines",
                                 "bare probe run") * 1e6 / static_cast<double>(members));
  fetch.Print("GetFileW to memory");
  return 0;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring tool, archive;
  int runs = 5;
  for (int i = 1; i + 1 < count; i += 2) {
    const std::wstring name = argv[i];
    if (name == L"--tool") tool = argv[i + 1];
    else if (name == L"--archive") archive = argv[i + 1];
    else if (name == L"--runs") runs = std::max(1, _wtoi(argv[i + 1]));
  }
  LocalFree(argv);
  if (tool.empty() || archive.empty()) {
    std::printf("usage: qibor_bench_pieces --tool TAR_EXE --archive FILE [--runs N]\n");
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
  return Run(tool, archive, runs);
}

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
#include "listing/kept_members.h"
#include "listing/listing_cache.h"
#include "listing/member_size.h"
#include "listing/tar_tool.h"
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
      total += median;
      std::printf("  %-44s %10.2f ms\n", name.c_str(), median * 1e3);
    }
    std::printf("  %-44s %10.2f ms\n", "sum of the medians", total * 1e3);
  }

 private:
  std::vector<std::string> order_;
  std::map<std::string, std::vector<double>> times_;
};

struct Captured {
  std::string plain, verbose;
};

// One capture as the plug-in makes it: run, read back, delete.
std::string Capture(Steps& steps, const std::string& label, const std::wstring& command, const std::wstring& file,
                    ErrorStream errors) {
  steps.Time(label + ": run the tool", [&] { return RunHidden(command, file, errors); });
  const std::optional<std::string> bytes =
      steps.Time(label + ": read the capture", [&] { return ReadWholeFile(file); });
  steps.Time(label + ": delete the capture", [&] { return DeleteFileRetrying(file); });
  return bytes.value_or(std::string());
}

// Both listings, one after the other.
Captured CaptureListings(Steps& steps, const std::wstring& tool, const std::wstring& archive) {
  Captured captured;
  captured.plain =
      Capture(steps, "plain", PlainListingCommand(tool, archive), PlainListingFile(), ErrorStream::Discard);
  captured.verbose =
      Capture(steps, "verbose", VerboseListingCommand(tool, archive), VerboseListingFile(), ErrorStream::Discard);
  return captured;
}

// The listing's in-process work on the two captures: what follows the runs.
HLOCAL BuildList(Steps& steps, const Captured& captured, std::vector<std::wstring>& plainLines,
                 std::vector<KeptMember>& kept) {
  plainLines = steps.Time("decode the plain lines", [&] { return DecodeCapturedLines(captured.plain); });
  const std::vector<std::wstring> verboseLines =
      steps.Time("decode the verbose lines", [&] { return DecodeCapturedLines(captured.verbose); });
  kept = steps.Time("pair the lines, parse the sizes", [&] {
    return FindKeptMembers(plainLines, verboseLines, SizeLimitFromMaxMB(4096));
  });
  return steps.Time("allocate and fill the records", [&] {
    const std::size_t count = kept.size();
    HLOCAL block = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, (count + 1) * sizeof(ArchiveEntryW));
    auto* records = static_cast<ArchiveEntryW*>(block);
    for (std::size_t i = 0; i < count; ++i)
      FillMemberRecord(records[i], i, kept[i].size, 1700000000, plainLines[kept[i].line]);
    return block;
  });
}

int Run(const std::wstring& tool, const std::wstring& archive, int runs) {
  EnsureWorkDirectory();
  Steps listing, fetch;
  std::size_t members = 0;
  for (int run = 0; run < runs; ++run) {
    // The listing: probe, plain and verbose runs, the list, the host's copy.
    listing.Time("read the settings (four values)", [&] {
      return ToolPath().size() + ReadTarExtensions().size() + ToolPath().size() + static_cast<std::size_t>(ReadMaxMB());
    });
    const std::string probe = Capture(listing, "probe", VerboseListingCommand(tool, archive), PlainListingFile(),
                                      ErrorStream::Capture);
    listing.Time("probe: check the lines", [&] {
      bool accepted = true;
      for (const CapturedLine& line : SplitCapturedLines(probe)) {
        if (IsOpenErrorLine(line.text)) accepted = false;
        std::string name(VerboseLineName(line.text));
        if (line.endedWithLineFeed) name.push_back('\n');
        if (ClassifyTextEncoding(reinterpret_cast<const unsigned char*>(name.data()),
                                 static_cast<std::uint32_t>(name.size())) != TextAscii)
          accepted = false;
      }
      return accepted;
    });
    const Captured captured = CaptureListings(listing, tool, archive);
    std::vector<std::wstring> plainLines;
    std::vector<KeptMember> kept;
    UniqueLocal list(BuildList(listing, captured, plainLines, kept));
    HLOCAL copy = nullptr;
    listing.Time("copy the list for the host", [&] { return CopyList(list.get(), &copy); });
    listing.Time("the host frees its copy", [&] { return LocalFree(copy); });
    members = kept.size();
    if (members == 0) {
      std::printf("qibor_bench_pieces: no members listed\n");
      return 1;
    }

    // The fetch of the middle member: the listing again, then the extraction.
    const Captured again = CaptureListings(fetch, tool, archive);
    std::vector<std::wstring> fetchLines = fetch.Time("decode the plain lines", [&] {
      return DecodeCapturedLines(again.plain);
    });
    const std::vector<std::wstring> fetchVerbose =
        fetch.Time("decode the verbose lines", [&] { return DecodeCapturedLines(again.verbose); });
    const std::vector<KeptMember> fetchKept = fetch.Time("pair the lines, parse the sizes", [&] {
      return FindKeptMembers(fetchLines, fetchVerbose, SizeLimitFromMaxMB(4096));
    });
    const std::wstring& memberPath = fetchLines[fetchKept[fetchKept.size() / 2].line];
    const std::wstring work = WorkDirectory();
    const std::wstring extracted = CombinePath(work, ExtractedRelativePath(memberPath));
    const std::wstring command = QuoteArgument(tool) + L" xf " + QuoteArgument(archive) + L" -C" +
                                 QuoteArgument(work) + L" -- " + QuoteArgument(EscapeMemberPattern(memberPath));
    Capture(fetch, "extract", command, PlainListingFile(), ErrorStream::Capture);
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
  return Run(tool, archive, runs);
}

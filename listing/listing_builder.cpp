#include "listing/listing_builder.h"

#include <cstring>
#include <new>
#include <optional>

#include "floor/byte_search.h"
#include "floor/code_page_text.h"
#include "floor/files.h"
#include "interface/record_text.h"
#include "interface/settings.h"
#include "listing/member_size.h"
#include "probe/probe.h"
#include "tool/commands.h"
#include "tool/run_tool.h"
#include "tool/work_folder.h"

namespace qibor {
namespace {


std::optional<std::int64_t> ArchiveTimestamp(const std::wstring& archivePath) {
  UniqueHandle archive(CreateFileW(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
  if (!archive.valid()) return std::nullopt;
  FILETIME lastWrite{};
  if (!GetFileTime(archive.get(), nullptr, nullptr, &lastWrite)) return std::nullopt;
  const std::uint64_t ticks = (static_cast<std::uint64_t>(lastWrite.dwHighDateTime) << 32) | lastWrite.dwLowDateTime;
  return UnixSecondsFromFileTime(ticks);
}

ResultCode BuildInto(const std::wstring& archivePath, const Settings& settings, UniqueLocal& block,
                     CompactList* compactOut, const std::function<void()>& whileFirstRunGoes) {
  const std::wstring toolPath = ToolExePath(settings);
  if (toolPath.empty()) return ReadError;
  const std::int64_t sizeLimit = SizeLimitFromMaxMB(settings.maxMB);
  const std::optional<std::int64_t> timestamp = ArchiveTimestamp(archivePath);
  if (!timestamp) return ReadError;
  const UINT codePage = ToolOutputCodePage();

  ListingCaptures captures;
  std::size_t lineCount = 0;
  std::optional<UINT> nameInPass;
  ResultCode named = ReadError;
  Overlap overlap = Overlap::Naming;
  const bool listed = RunListings(
      toolPath, archivePath, captures,
      [&](CaptureStream& plain) {
        named = MakeRecordsForEveryLine(plain, block, lineCount);
        if (named != Success) return false;
        // Reading the verbose capture as it grows pays for a long run; for a
        // short one its waits cost more than they save. A long listing's
        // records are named by that same pass, which writes each kept
        // member's record once, and no other: naming every line first cost
        // about as much again, once the plain run ended about when the
        // verbose one did.
        if (lineCount >= kLongListingLines) {
          overlap = Overlap::Pairing;
          nameInPass = codePage;
          return true;
        }
        named = NameLines(plain, codePage, block.as<ArchiveEntryW>(), lineCount);
        return named == Success;
      },
      &overlap, whileFirstRunGoes);
  if (!listed) return named == OutOfMemory ? OutOfMemory : ReadError;

  // The members are kept, and the verbose run's lines judged as a probe
  // judges them, as the run writes them; a list the judgement refuses is
  // dropped whole. The verbose run answers what a probe would ask: an archive
  // the tool cannot read is no list, nor is a tar whose names are not ASCII.
  VerboseJudgement judgement{ChecksNames(archivePath, settings), {}};
  const bool kept =
      KeepMembers(captures, sizeLimit, *timestamp, block, lineCount, compactOut, &judgement, nameInPass).has_value();
  EndVerboseRun(captures);
  const bool exitedWell = captures.verboseExit == 0;
  // A pass that stopped short has judged only some lines: judge them all.
  const bool archive = kept ? ErrorsLeaveAnArchive(judgement.lines, VerboseErrorsFile(), exitedWell)
                            : ListingShowsAnArchive(captures.verbose, VerboseErrorsFile(), judgement.checkNames,
                                                    exitedWell);
  if (!archive) return UnknownFormat;
  return kept ? Success : ReadError;
}

}  // namespace

ListingCaptures::~ListingCaptures() { CloseListingCaptures(*this); }

void CloseListingCaptures(ListingCaptures& captures) {
  // No file goes while the run may still write it. Each goes with its last
  // handle: no deletion by name, on any path.
  captures.verboseRun.Wait();
  captures.plain.file.reset();
  captures.verbose.file.reset();
  captures.plainFile.reset();
  captures.verboseFile.reset();
  captures.errorsFile.reset();
}

ResultCode MakeRecordsForEveryLine(CaptureStream& plain, UniqueLocal& block, std::size_t& lineCount) {
  CapturedLine line;
  lineCount = 0;
  while (ReadLine(plain, line)) ++lineCount;
  if (plain.failed || !RewindCapture(plain)) return ReadError;
  if (lineCount >= SIZE_MAX / sizeof(ArchiveEntryW)) return OutOfMemory;
  block.reset(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, (lineCount + 1) * sizeof(ArchiveEntryW)));
  return block ? Success : OutOfMemory;
}

namespace {

// What naming records one after the other carries from one to the next.
struct Naming {
  UINT codePage = CP_ACP;
  bool asciiAsIs = false;
  std::wstring text;
  std::string previousFolder;  // of the record named last
};

Naming NamingIn(UINT codePage) { return Naming{codePage, KeepsAscii(codePage), {}, {}}; }

// Writes a plain line's path and name into its zero-filled record;
// `previous` is the record named just before, if any.
void NameRecord(Naming& naming, std::string_view line, ArchiveEntryW& record, const ArchiveEntryW* previous) {
  DecodeTextInto(MemberName(line), naming.codePage, naming.text, naming.asciiAsIs);
  CopyToRecordText(record.name, PlainNameFor(naming.text));
  // Members of one folder mostly follow each other: decode it once.
  const std::string_view folder = MemberFolder(line);
  if (!folder.empty() && previous != nullptr && SameBytes(folder, naming.previousFolder)) {
    std::memcpy(record.path, previous->path, sizeof record.path);
  } else if (!folder.empty()) {
    DecodeTextInto(folder, naming.codePage, naming.text, naming.asciiAsIs);
    CopyFolderToRecordPath(record.path, naming.text);
  }
  naming.previousFolder.assign(folder);
}

}  // namespace

ResultCode NameLines(CaptureStream& plain, UINT codePage, ArchiveEntryW* records, std::size_t lineCount) {
  CapturedLine line;
  Naming naming = NamingIn(codePage);
  for (std::size_t i = 0; i < lineCount && ReadLine(plain, line); ++i) {
    NameRecord(naming, line.text, records[i], i > 0 ? &records[i - 1] : nullptr);
  }
  return plain.failed ? ReadError : Success;
}

std::optional<std::size_t> KeepMembers(ListingCaptures& captures, std::int64_t sizeLimit, std::int64_t timestamp,
                                       UniqueLocal& block, std::size_t lineCount, CompactList* compactOut,
                                       VerboseJudgement* judgement, std::optional<UINT> nameInPass) {
  // Kept members take the first records, in order, each with its line's
  // path and name. With a compact copy asked for, the same pass makes it,
  // keeps each member's path as the tool printed it and counts every entry's
  // key for the sole-match judgement, so little is left once the run ends.
  auto* records = block.as<ArchiveEntryW>();
  std::size_t count = 0;
  bool changed = false;  // the plain capture grew between readings: no list
  SoleMatchTally tally;
  RecordFolderIndex folderIndex;
  std::vector<bool> shown;
  std::optional<Naming> naming;
  if (nameInPass) naming = NamingIn(*nameInPass);
  if (compactOut != nullptr) {
    ClearCompactList(*compactOut);
    ReserveTally(tally, lineCount);
  }
  if (!RewindCapture(captures.plain) || !RewindCapture(captures.verbose)) return std::nullopt;
  PairEveryEntry([&](CapturedLine& line) { return ReadLine(captures.plain, line); },
                 [&](CapturedLine& line) { return ReadLine(captures.verbose, line); }, sizeLimit,
                 [&](std::size_t, std::string_view plainLine, const CapturedLine& verboseLine,
                     const KeptMember* member) {
                   if (judgement != nullptr) AddProbeLine(verboseLine, judgement->checkNames, judgement->lines);
                   if (compactOut != nullptr) TallyEntry(tally, plainLine, member != nullptr);
                   if (member == nullptr) return true;
                   if (member->line >= lineCount) {
                     changed = true;
                     return false;
                   }
                   ArchiveEntryW& record = records[count];
                   if (naming) {
                     NameRecord(*naming, plainLine, record, count > 0 ? &records[count - 1] : nullptr);
                   } else if (member->line != count) {
                     std::memcpy(record.path, records[member->line].path, sizeof record.path);
                     std::memcpy(record.name, records[member->line].name, sizeof record.name);
                   }
                   SetMemberFields(record, count, member->size, timestamp);
                   if (compactOut != nullptr) {
                     AddCompactRecord(*compactOut, record, folderIndex);
                     AddToolPath(compactOut->toolPaths, plainLine);
                     shown.push_back(FindByte(plainLine, '?') == kNoByte);
                   }
                   ++count;
                   return true;
                 });
  if (captures.plain.failed || captures.verbose.failed || changed) return std::nullopt;
  if (judgement != nullptr) {
    // Verbose lines past the last plain one are judged too.
    CapturedLine rest;
    while (ReadLine(captures.verbose, rest)) AddProbeLine(rest, judgement->checkNames, judgement->lines);
    if (captures.verbose.failed) return std::nullopt;
  }
  if (compactOut != nullptr) {
    // The tool's first match for a member's own printed name writes it alone
    // when no other entry has that name in any spelling, none lies below it,
    // and no "?" stands for a unit the code page cannot show.
    std::vector<bool>& sole = compactOut->toolPaths.soleMatch;
    sole = SoleMatches(tally);
    for (std::size_t i = 0; i < shown.size(); ++i) sole[i] = sole[i] && shown[i];
    compactOut->toolPaths.folderIndex.clear();
  }

  // The rest held the names of lines that were not kept. The list ends at
  // its terminator; the block shrinks in place to fit it.
  // Records the pass named itself past the kept ones were never written.
  if (!naming) std::memset(records + count, 0, (lineCount - count + 1) * sizeof(ArchiveEntryW));
  if (count < lineCount) LocalReAlloc(block.get(), (count + 1) * sizeof(ArchiveEntryW), 0);
  return count;
}

bool CreateListingCaptureFiles(ListingCaptures& captures) {
  captures.plainFile = CreateScratch(PlainListingFile());
  captures.verboseFile = CreateScratch(VerboseListingFile());
  captures.errorsFile = CreateScratch(VerboseErrorsFile());
  return captures.plainFile.valid() && captures.verboseFile.valid() && captures.errorsFile.valid();
}

bool RunListings(const std::wstring& toolPath, const std::wstring& archivePath, ListingCaptures& captures,
                 const std::function<bool(CaptureStream& plain)>& whileVerboseRuns, const Overlap* overlap,
                 const std::function<void()>& whilePlainRuns) {
  const std::wstring& folder = CurrentRequestFolder();
  if (toolPath.empty() || folder.empty()) return false;
  if (!CreateListingCaptureFiles(captures)) return false;
  // Both runs at once, each reading the archive on a handle of its own:
  // neither needs the other's output, and a machine with two cores lists in
  // the time of the longer run. The verbose run, the longer, starts first.
  const UniqueHandle verboseInput = OpenArchiveInput(archivePath);
  RunningTool verboseRun = StartHiddenIn(folder, VerboseListingCommand(toolPath), verboseInput.get(),
                                         captures.verboseFile.get(), captures.errorsFile.get());
  if (!verboseRun.started()) return false;
  {
    const UniqueHandle plainInput = OpenArchiveInput(archivePath);
    RunningTool plainRun =
        StartHiddenIn(folder, PlainListingCommand(toolPath), plainInput.get(), captures.plainFile.get(), nullptr);
    if (!plainRun.started()) {
      verboseRun.Stop();
      return false;
    }
    if (whilePlainRuns) whilePlainRuns();
  }
  if (!OpenCapture(PlainListingFile(), captures.plain)) return false;
  if (whileVerboseRuns && !whileVerboseRuns(captures.plain)) return false;
  if (overlap == nullptr || *overlap == Overlap::Naming) verboseRun.Wait();
  captures.verboseExit = verboseRun.exitCode();
  if (!OpenCapture(VerboseListingFile(), captures.verbose)) return false;
  captures.verbose.writer = verboseRun.process();
  captures.verboseRun = std::move(verboseRun);
  return true;
}

void EndVerboseRun(ListingCaptures& captures) {
  // A run RunListings already waited for has its exit code noted.
  if (captures.verboseRun.started()) {
    captures.verboseRun.Wait();
    captures.verboseExit = captures.verboseRun.exitCode();
  }
  captures.verbose.writer = nullptr;
}

bool ForEachKeptMember(ListingCaptures& captures, std::int64_t sizeLimit,
                       const std::function<bool(const KeptMember&, std::string_view plainLine)>& onKept) {
  if (!RewindCapture(captures.plain) || !RewindCapture(captures.verbose)) return false;
  PairKeptMembers([&](CapturedLine& line) { return ReadLine(captures.plain, line); },
                  [&](CapturedLine& line) { return ReadLine(captures.verbose, line); }, sizeLimit, onKept);
  return !captures.plain.failed && !captures.verbose.failed;
}

bool ForEachListedEntry(ListingCaptures& captures,
                        const std::function<bool(std::size_t, std::string_view plainLine,
                                                 std::string_view verboseLine)>& onEntry) {
  if (!RewindCapture(captures.plain) || !RewindCapture(captures.verbose)) return false;
  PairListingLines([&](CapturedLine& line) { return ReadLine(captures.plain, line); },
                   [&](CapturedLine& line) { return ReadLine(captures.verbose, line); },
                   [&](std::size_t line, const CapturedLine& plain, const CapturedLine& verbose) {
                     return onEntry(line, plain.text, verbose.text);
                   });
  return !captures.plain.failed && !captures.verbose.failed;
}

ResultCode BuildListing(const std::wstring& archivePath, const Settings& settings, HLOCAL* listOut,
                        CompactList* compactOut, const std::function<void()>& whileFirstRunGoes) {
  *listOut = nullptr;
  UniqueLocal block;
  try {
    const ResultCode result = BuildInto(archivePath, settings, block, compactOut, whileFirstRunGoes);
    if (result != Success) {
      if (compactOut != nullptr) ClearCompactList(*compactOut);
      return result;
    }
  } catch (const std::bad_alloc&) {
    if (compactOut != nullptr) ClearCompactList(*compactOut);
    return OutOfMemory;
  }
  *listOut = block.release();
  return Success;
}

}  // namespace qibor

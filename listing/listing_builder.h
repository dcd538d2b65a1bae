#pragma once
// Turns an archive into its member list: the plain listing gives each
// member's path, the verbose listing its size, the archive file its time.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "interface/records.h"
#include "interface/settings_text.h"
#include "floor/unique_any.h"
#include "listing/compact_list.h"
#include "listing/kept_members.h"
#include "probe/probe_lines.h"
#include "tool/captures.h"
#include "tool/run_tool.h"

namespace qibor {

// Both listings of one archive in their capture files, open for reading.
// Going out of scope closes the files, and so deletes them.
struct ListingCaptures {
  // The three files the runs write, made to go as their last handle closes.
  UniqueHandle plainFile;
  UniqueHandle verboseFile;
  UniqueHandle errorsFile;
  CaptureStream plain;
  CaptureStream verbose;   // its error stream goes to VerboseErrorsFile()
  DWORD verboseExit = 1;   // the verbose run's exit code, once it has ended
  RunningTool verboseRun;  // while it may still be writing

  ListingCaptures() = default;
  ListingCaptures(const ListingCaptures&) = delete;
  ListingCaptures& operator=(const ListingCaptures&) = delete;
  ~ListingCaptures();
};

// Makes the three files the runs write, each to go with its last handle;
// false when one cannot be made.
bool CreateListingCaptureFiles(ListingCaptures& captures);
// Waits for a verbose run still writing, then closes every handle on the
// captures, which deletes them.
void CloseListingCaptures(ListingCaptures& captures);

// Starts the verbose listing and the plain one at once, waits for the plain
// one and opens both captures. `whileVerboseRuns`, when given, gets the
// plain capture while the verbose run is still going, so work on it overlaps
// the run; its false abandons the listing. When `overlap` (read after that call) says Overlap::Pairing,
// RunListings returns while the verbose run still writes: its capture is
// read as it grows, and EndVerboseRun waits for its end. False when a run
// cannot start or a capture cannot be opened. The caller holds the request
// lock.
enum class Overlap { Naming, Pairing };
// `whilePlainRuns`, when given, is called while both runs go.
bool RunListings(const std::wstring& toolPath, const std::wstring& archivePath, ListingCaptures& captures,
                 const std::function<bool(CaptureStream& plain)>& whileVerboseRuns = {},
                 const Overlap* overlap = nullptr, const std::function<void()>& whilePlainRuns = {});
// Waits for the verbose run and notes its exit code.
void EndVerboseRun(ListingCaptures& captures);

// Pairs both captures from their first lines and calls onKept(member, plain
// line) for each kept member until it returns false. The plain line is the
// tool's bytes, valid during the call. False when a capture cannot be read.
bool ForEachKeptMember(ListingCaptures& captures, std::int64_t sizeLimit,
                       const std::function<bool(const KeptMember&, std::string_view plainLine)>& onKept);

// Pairs both captures from their first lines and calls onEntry(line index,
// plain line, verbose line) for every entry, kept or not, until it returns
// false. False when a capture cannot be read.
bool ForEachListedEntry(ListingCaptures& captures,
                        const std::function<bool(std::size_t, std::string_view plainLine,
                                                 std::string_view verboseLine)>& onEntry);

// Listings of at least this many lines are paired as the verbose run writes,
// and named by that pass.
inline constexpr std::size_t kLongListingLines = 3000;

// The two halves of a build. First, while the verbose run goes: one
// zero-filled record for each line of the plain capture (0, 4 or 6), and for
// a short listing each line's path and name in its record. A long listing's
// records are named by KeepMembers as it pairs the lines.
ResultCode MakeRecordsForEveryLine(CaptureStream& plain, UniqueLocal& block, std::size_t& lineCount);
ResultCode NameLines(CaptureStream& plain, UINT codePage, ArchiveEntryW* records, std::size_t lineCount);
// Then: each kept member's record moves to its position and is filled; the
// rest is zeroed and cut off. With `compactOut`, the same pass makes the
// list's compact copy for the cache, with each kept member's path as the
// tool printed it and whether the tool's first match for its own name is it
// (soleMatch). The number kept; no value when a capture cannot be read.
// With `judgement`, the same pass also adds every verbose line to the probe's
// judgement of the listing (ProbeLines), so the run's output is read once.
// With `nameInPass`, the records were made but not named
// (MakeRecordsForEveryLine): the pass names each kept member's record from
// its plain line in that code page, and writes no other.
struct VerboseJudgement {
  bool checkNames = false;
  ProbeLines lines;
};
std::optional<std::size_t> KeepMembers(ListingCaptures& captures, std::int64_t sizeLimit, std::int64_t timestamp,
                                       UniqueLocal& block, std::size_t lineCount, CompactList* compactOut = nullptr,
                                       VerboseJudgement* judgement = nullptr,
                                       std::optional<UINT> nameInPass = std::nullopt);

// Builds the archive's EntryList into *listOut (null on every failure):
// 0 with the list, 2 when the verbose run shows no archive qibor takes (as
// the probe judges), 4 when memory ran out, 6 when the tool cannot be run,
// its output cannot be read, or the archive cannot be opened for its time.
// The list's compact copy, with the kept members' paths as the tool printed
// them, goes to compactOut when given (emptied on failure). The caller's
// `whileFirstRunGoes`, when given, is called while the runs go.
ResultCode BuildListing(const std::wstring& archivePath, const Settings& settings, HLOCAL* listOut,
                        CompactList* compactOut = nullptr, const std::function<void()>& whileFirstRunGoes = {});

}  // namespace qibor

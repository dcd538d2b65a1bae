#include "listing/listing.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>

#include "floor/code_page_text.h"
#include "floor/files.h"
#include "floor/win_path.h"
#include "interface/record_text.h"
#include "interface/settings.h"
#include "listing/member_size.h"
#include "probe/probe.h"
#include "probe/probe_lines.h"
#include "tool/captured_lines.h"
#include "tool/captures.h"
#include "tool/commands.h"
#include "tool/run_tool.h"

namespace qibor {
namespace {

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

// Seconds since 1970-01-01 UTC from a FILETIME value (100 ns since 1601).
std::int64_t UnixSecondsFromFileTime(std::uint64_t fileTime) {
  constexpr std::int64_t kIntervalsTo1970 = 116444736000000000LL;
  return (static_cast<std::int64_t>(fileTime) - kIntervalsTo1970) / 10000000LL;
}

using Header = std::array<unsigned char, 8>;

// The 8 bytes at `offset`: 0; 2 when there are fewer; 6 when they cannot be read.
ResultCode ReadHeader(HANDLE archive, std::int64_t offset, Header& header) {
  LARGE_INTEGER target{};
  target.QuadPart = offset;
  LARGE_INTEGER reached{};
  if (!SetFilePointerEx(archive, target, &reached, FILE_BEGIN) || reached.QuadPart != offset) return ReadError;
  DWORD read = 0;
  if (!ReadFile(archive, header.data(), static_cast<DWORD>(header.size()), &read, nullptr)) return ReadError;
  return read < header.size() ? UnknownFormat : Success;
}

bool StartsWith(const Header& header, std::initializer_list<unsigned char> magic) {
  return std::equal(magic.begin(), magic.end(), header.begin());
}

// A 7z (solid unless made otherwise), or a tar in a compressed stream: gzip,
// bzip2, xz, lzma, zstd, lz4, compress, lzip.
bool DecodesFromTheStart(const Header& header) {
  return StartsWith(header, {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C}) || StartsWith(header, {0x1F, 0x8B}) ||
         StartsWith(header, {'B', 'Z', 'h'}) || StartsWith(header, {0xFD, '7', 'z', 'X', 'Z', 0x00}) ||
         StartsWith(header, {0x5D, 0x00, 0x00}) || StartsWith(header, {0x28, 0xB5, 0x2F, 0xFD}) ||
         StartsWith(header, {0x04, 0x22, 0x4D, 0x18}) || StartsWith(header, {0x1F, 0x9D}) ||
         StartsWith(header, {'L', 'Z', 'I', 'P'});
}

// What the listing's two runs wrote.
struct ListingOutput {
  std::string plain;
  std::string verbose;
  std::string errors;
  bool exitedWell = false;
  UniqueLocal records;  // RoomForRecords of every plain line

  std::size_t lines = 0;
};

// Zero-filled room for `lines` records and the terminator, each page
// touched: the first touch of fresh memory is slow (about 12 us a page
// under Wine here, 140 ms for 50,000 records), and made while the verbose
// run goes a core is free for it. Measured: a listing of 50,000 members
// takes 13% longer when the records' pages are first touched as they are
// written after both runs. Null when memory ran out.
UniqueLocal RoomForRecords(std::size_t lines) {
  if (lines >= SIZE_MAX / sizeof(ArchiveEntryW) - 1) return {};
  const std::size_t size = (lines + 1) * sizeof(ArchiveEntryW);
  UniqueLocal room(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, size));
  auto* bytes = room.as<volatile unsigned char>();
  for (std::size_t at = 0; room && at < size; at += 4096) bytes[at] = 0;
  return room;
}

std::size_t LineCount(std::string_view text) {
  std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  return lines + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

// Both runs at once, each reading the archive through a handle of its own:
// neither needs the other's output, and a machine with two cores lists in
// the time of the longer run. The archive's identity is read while they go.
std::optional<ListingOutput> RunListings(const std::wstring& folder, const std::wstring& toolPath, HANDLE archive,
                                         const Settings& settings, std::optional<ArchiveOrigin>& origin) {
  const UniqueHandle plain = MakeCapture(folder, Capture::Plain);
  const UniqueHandle verbose = MakeCapture(folder, Capture::Verbose);
  const UniqueHandle errors = MakeCapture(folder, Capture::Errors);
  const UniqueHandle again = ReopenArchive(archive);
  if (!plain.valid() || !verbose.valid() || !errors.valid() || !again.valid()) return std::nullopt;
  ListingOutput output;
  {
    // The verbose run, the longer, starts first.
    RunningTool verboseRun =
        StartOnArchive(folder, VerboseListingCommand(toolPath), archive, verbose.get(), errors.get());
    if (!verboseRun.started()) return std::nullopt;
    RunningTool plainRun = StartOnArchive(folder, PlainListingCommand(toolPath), again.get(), plain.get(), nullptr);
    if (!plainRun.started()) {
      verboseRun.Stop();
      return std::nullopt;
    }
    origin = OriginOf(archive, settings);
    plainRun.Wait();
    std::optional<std::string> plainText = ReadFromStart(plain.get());
    if (!plainText) return std::nullopt;
    output.plain = std::move(*plainText);
    output.lines = LineCount(output.plain);
    output.records = RoomForRecords(output.lines);
    verboseRun.Wait();
    output.exitedWell = verboseRun.exitCode() == 0;
  }
  std::optional<std::string> verboseText = ReadFromStart(verbose.get());
  std::optional<std::string> errorsText = ReadFromStart(errors.get());
  if (!verboseText || !errorsText) return std::nullopt;
  output.verbose = std::move(*verboseText);
  output.errors = std::move(*errorsText);
  return output;
}

// Pairs the listings line for line into the list's entries and keeps its
// members, judging every verbose line as the probe judges it. A plain line
// without a verbose partner has no known size and is passed over.
void ReadEntries(const ListingOutput& output, std::int64_t sizeLimit, bool checkNames, ArchiveList& list,
                 ProbeLines& judgement) {
  std::string_view plain = output.plain;
  std::string_view verbose = output.verbose;
  CapturedLine plainLine;
  CapturedLine verboseLine;
  while (TakeCapturedLine(verbose, verboseLine)) {
    AddProbeLine(verboseLine.text, checkNames, judgement);
    if (!TakeCapturedLine(plain, plainLine)) continue;
    AddEntry(list.entries, plainLine.text, verboseLine.text);
    const std::size_t entry = EntryCount(list.entries) - 1;
    if (list.entries.kinds[entry] == EntryKind::File && IsKeptMember(list.entries.sizes[entry], sizeLimit)) {
      list.members.push_back(static_cast<std::uint32_t>(entry));
    }
  }
  AddProbeLines(output.errors, false, judgement);
}

// The host's list: a record for each member and the terminator, in the
// zero-filled room made for every line, cut to fit in place.
ResultCode MakeRecords(const ArchiveList& list, ListingOutput& output, UniqueLocal& block) {
  const std::size_t count = list.members.size();
  if (!output.records || count > output.lines) return OutOfMemory;
  block = std::move(output.records);
  for (std::size_t i = 0; i < count; ++i) MakeRecord(list, i, block.as<ArchiveEntryW>()[i]);
  if (count < output.lines) LocalReAlloc(block.get(), (count + 1) * sizeof(ArchiveEntryW), 0);
  return Success;
}

}  // namespace

std::optional<ArchiveOrigin> OriginOf(HANDLE archive, const Settings& settings) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(archive, &info)) return std::nullopt;
  ArchiveOrigin origin;
  origin.volumeSerial = info.dwVolumeSerialNumber;
  origin.fileIndex = Join(info.nFileIndexHigh, info.nFileIndexLow);
  origin.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  origin.lastWrite = Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
  origin.toolDir = settings.toolDir;
  origin.maxMB = settings.maxMB;
  return origin;
}

ResultCode ListAfresh(const std::wstring& folder, const Settings& settings, const std::wstring& archivePath,
                      HANDLE archive, std::int64_t offset, Listing& out) {
  if (folder.empty() || archive == nullptr || archive == INVALID_HANDLE_VALUE) return ReadError;
  Header header{};
  const ResultCode checked = ReadHeader(archive, offset, header);
  if (checked != Success) return checked;
  if (offset != 0 && ReadHeader(archive, 0, header) == ReadError) return ReadError;
  const std::wstring toolPath = ToolExePath(settings);
  if (toolPath.empty() || !FileExists(toolPath)) return UnknownFormat;

  auto list = std::make_shared<ArchiveList>();
  list->codePage = ToolOutputCodePage();
  std::optional<ArchiveOrigin> origin;
  std::optional<ListingOutput> output = RunListings(folder, toolPath, archive, settings, origin);
  // Without the archive's time there is nothing to date the records with.
  if (!output || !origin) return ReadError;
  list->origin = *origin;
  list->timestamp = UnixSecondsFromFileTime(origin->lastWrite);
  // The verbose run answers what a probe would ask: an archive the tool
  // cannot read is no list, nor is a tar whose names are not ASCII.
  ProbeLines judgement;
  // A member larger than a record can say is left out, as one over maxMB is.
  const auto sizeLimit = static_cast<std::int64_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(SizeLimitFromMaxMB(settings.maxMB)), kLargestRecordedSize));
  ReadEntries(*output, sizeLimit, ChecksNames(archivePath, settings), *list, judgement);
  if (!ProbeAccepts(judgement, output->exitedWell)) return UnknownFormat;
  list->soleMatch = SoleMatches(list->entries, list->members);
  list->solid = DecodesFromTheStart(header);
  const ResultCode made = MakeRecords(*list, *output, out.records);
  if (made != Success) return made;
  out.list = std::move(list);
  return Success;
}

void MakeRecord(const ArchiveList& list, std::size_t member, ArchiveEntryW& record) {
  const std::size_t entry = list.members[member];
  const std::wstring path = DecodeText(PathOf(list.entries, entry), list.codePage);
  const auto size = static_cast<std::uint64_t>(list.entries.sizes[entry]);
  std::fill(std::begin(record.method), std::end(record.method), '\0');
  record.method[0] = 'T';
  record.method[1] = 'A';
  record.method[2] = 'R';
  record.position = static_cast<decltype(record.position)>(member);
  record.compressedSize = static_cast<decltype(record.compressedSize)>(size);
  record.size = static_cast<decltype(record.size)>(size);
  record.timestamp = FieldValue<decltype(record.timestamp)>(list.timestamp);
  CopyFolderToRecordPath(record.path, MemberFolder(path));
  CopyToRecordText(record.name, PlainNameFor(MemberName(path)));
  record.crc = 0;
}

std::optional<std::size_t> MemberNamed(const ArchiveList& list, std::uint64_t position, std::string_view toolPath,
                                       std::uint64_t size) {
  const auto names = [&](std::size_t member) {
    const std::size_t entry = list.members[member];
    return PathOf(list.entries, entry) == toolPath && static_cast<std::uint64_t>(list.entries.sizes[entry]) == size;
  };
  if (position < list.members.size() && names(static_cast<std::size_t>(position))) {
    return static_cast<std::size_t>(position);
  }
  std::optional<std::size_t> found;
  for (std::size_t member = 0; member < list.members.size(); ++member) {
    if (!names(member)) continue;
    if (found) return std::nullopt;  // named more than once elsewhere: which one cannot be told
    found = member;
  }
  return found;
}

}  // namespace qibor

#include "extract/extract_member.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "extract/member_selection.h"
#include "extract/member_path.h"
#include "extract/written_files.h"
#include "interface/settings.h"
#include "interface/win_owners.h"
#include "interface/win_path.h"
#include "listing/captured_lines.h"
#include "listing/listing_cache.h"
#include "listing/member_size.h"
#include "listing/tar_tool.h"
#include "listing/work_folder.h"

namespace qibor {
namespace {

// Reads and writes go in pieces: one call moves less than 4 GiB.
constexpr DWORD kPieceBytes = 1u << 24;

std::wstring ExtractionCommand(const std::wstring& toolPath, const SelectedMember& member) {
  std::wstring command = QuoteArgument(toolPath) + (member.run == ExtractionRun::StopAtFirst ? L" xqf -" : L" xf -");
  // "^P/?*" selects what lies below the member, never the member itself:
  // the tool's "/" also matches the end of a name, so "P/*" would.
  if (member.run == ExtractionRun::ReadAll) command += L" --exclude " + QuoteArgument(L"^" + member.pattern + L"/?*");
  for (const std::wstring& exclusion : member.exclusions) command += L" --exclude " + QuoteArgument(exclusion);
  return command + L" -- " + QuoteArgument(member.pattern);
}

// Reads the extracted file whole into a new block.
ResultCode LoadFileIntoBlock(const std::wstring& path, UniqueLocal& block) {
  const UniqueHandle file = OpenForReading(LongPathForm(path));
  if (!file.valid()) return ReadError;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return ReadError;
  const auto total = static_cast<std::uint64_t>(size.QuadPart);
  if (total > static_cast<std::uint64_t>(SIZE_MAX)) return OutOfMemory;
  block.reset(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(total)));
  if (!block) return OutOfMemory;
  if (!ReadExactly(file.get(), block.get(), total)) {
    block.reset();
    return ReadError;
  }
  return Success;
}

// The tool prints "PATH: reason" for a member it could not write whole, and
// may still leave a file of the right size behind (a 7z member after one of a
// multiple of 64 KiB comes out as zeros). Warnings about other members start
// with the tool's own name and do not concern this one.
bool ToolReportedFailure(const std::string& output, const std::wstring& memberPath) {
  const std::wstring prefix = memberPath + L": ";
  const UINT codePage = ToolOutputCodePage();
  std::string_view rest = output;
  CapturedLine line;
  std::wstring text;
  while (TakeCapturedLine(rest, line)) {
    DecodeToolTextInto(line.text, codePage, text);
    if (text.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

// The request folder joined with the member's relative path, when Windows
// takes that path for exactly this file: nothing in it resolves elsewhere.
std::optional<std::wstring> PathInsideFolder(const std::wstring& folder, const std::wstring& relative) {
  const std::wstring joined = folder + L"\\" + relative;
  if (FullPathOf(joined) != joined) return std::nullopt;
  return joined;
}

}  // namespace

namespace {

// After the run: only the member, and the folders on its way, may have been
// written, under a name that prints as the listed one, with the listed size.
ResultCode CollectWritten(const std::optional<std::string>& output, const std::wstring& printedPath,
                          const std::wstring& relative, bool wildcards, std::int64_t size, UniqueLocal& blockOut,
                          std::wstring& writtenPathOut) {
  const std::wstring& folder = CurrentRequestFolder();
  if (!output || ToolReportedFailure(*output, printedPath)) return ReadError;
  // The capture files may stand beside the member.
  const std::wstring paths[5] = {ExtractionOutputFile(), PlainListingFile(), VerboseListingFile(),
                                 VerboseErrorsFile(), SelectionListingFile()};
  const std::initializer_list<std::wstring_view> captures{
      LastComponent(paths[0], L'\\'), LastComponent(paths[1], L'\\'), LastComponent(paths[2], L'\\'),
      LastComponent(paths[3], L'\\'), LastComponent(paths[4], L'\\')};
  std::optional<std::wstring> written = relative;
  if (wildcards) {
    written = TheOnlyFileWritten(folder, captures);
    if (!written || !PrintsAs(*written, printedPath, ToolOutputCodePage())) return ReadError;
  } else if (!OnlyFileWritten(folder, relative, captures)) {
    return ReadError;
  }
  UniqueLocal block;
  const ResultCode loaded = LoadFileIntoBlock(folder + L"\\" + *written, block);
  if (loaded != Success) return loaded;
  // Bytes of another size than listed are not this member's.
  if (LocalSize(block.get()) != static_cast<SIZE_T>(size)) return ReadError;
  blockOut = std::move(block);
  writtenPathOut = *written;
  return Success;
}

// Checked before the tool runs: where it will write, and that Windows reads
// that path as a file inside the request folder. A unit the code page cannot
// show ("?") is no dot, space, separator or colon.
std::optional<std::wstring> CheckedRelativePath(const std::wstring& printedPath) {
  std::optional<std::wstring> relative = WrittenRelativePath(printedPath);
  if (!relative || !PathInsideFolder(CurrentRequestFolder(), *relative)) return std::nullopt;
  return relative;
}

// The one run of a fetch whose list is trusted: the tool's first match for
// the member's own name is the member, so it stops once that is out.
ResultCode ExtractAlone(HANDLE archive, const std::wstring& toolPath, const std::string& listedPath,
                        std::int64_t size, UniqueLocal& blockOut, std::wstring& writtenPathOut) {
  const std::wstring printed = DecodeToolText(listedPath, ToolOutputCodePage());
  const std::optional<std::wstring> relative = CheckedRelativePath(printed);
  if (toolPath.empty() || !relative) return ReadError;
  SelectedMember member;
  member.pattern = EscapeMemberPattern(printed);
  member.run = ExtractionRun::StopAtFirst;
  const std::optional<std::string> output =
      CaptureToolOutputOn(ExtractionCommand(toolPath, member), archive, ExtractionOutputFile(), ErrorStream::Capture);
  return CollectWritten(output, printed, *relative, false, size, blockOut, writtenPathOut);
}

}  // namespace

ResultCode ExtractMember(const std::wstring& archivePath, const ArchiveEntryW& record,
                         const std::string& listedPath, const Settings& settings, UniqueLocal& blockOut,
                         std::wstring& writtenPathOut) {
  const std::wstring& folder = CurrentRequestFolder();
  const std::wstring toolPath = ToolExePath(settings);
  if (folder.empty() || toolPath.empty()) return ReadError;
  const std::int64_t sizeLimit = SizeLimitFromMaxMB(settings.maxMB);
  const std::optional<SelectedMember> member = SelectMember(toolPath, archivePath, record, listedPath, sizeLimit);
  if (!member) return ReadError;
  const std::optional<std::wstring> relative = CheckedRelativePath(member->printedPath);
  if (!relative) return ReadError;
  const std::optional<std::string> output =
      CaptureToolOutput(ExtractionCommand(toolPath, *member), archivePath, ExtractionOutputFile(), ErrorStream::Capture);
  return CollectWritten(output, member->printedPath, *relative, member->wildcards, member->size, blockOut,
                        writtenPathOut);
}

ResultCode WriteNewFile(const std::wstring& outputPath, const void* bytes, std::uint64_t size) {
  UniqueHandle file(CreateFileW(LongPathForm(outputPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return WriteError;
  const auto* data = static_cast<const unsigned char*>(bytes);
  std::uint64_t done = 0;
  bool complete = true;
  while (done < size) {
    const DWORD piece = static_cast<DWORD>(std::min<std::uint64_t>(size - done, kPieceBytes));
    DWORD written = 0;
    if (!WriteFile(file.get(), data + done, piece, &written, nullptr) || written != piece) {
      complete = false;
      break;
    }
    done += written;
  }
  if (complete && !FlushFileBuffers(file.get()) && GetLastError() != ERROR_INVALID_FUNCTION) complete = false;
  file.reset();
  if (!complete) {
    // The file was made by this call, so an incomplete one is removed.
    DeleteFileW(LongPathForm(outputPath).c_str());
    return WriteError;
  }
  return Success;
}

ResultCode FetchMember(const std::wstring& archivePath, std::uint64_t position, const std::wstring& destFolder,
                       HLOCAL* blockOut, std::uint32_t flag) {
  if (!IsFileInput(flag)) return NotImplemented;
  const bool toMemory = IsOutputToMemory(flag);
  // An empty folder would put the file in the host's current folder.
  if (!toMemory && destFolder.empty()) return WriteError;

  const Settings settings = ReadSettings();
  RequestScope request;
  if (request.folder().empty()) return ReadError;
  ArchiveEntryW record{};
  record.position = position;
  std::string listedPath;
  FetchFacts facts;
  const ResultCode found = LookupOrBuildListing(archivePath, 0, settings, nullptr, &record, &listedPath, &facts);
  if (found != Success) return found;

  UniqueLocal block;
  std::wstring writtenPath;
  ResultCode result = ReadError;
  // The archive unchanged since its list was made, with the same settings:
  // one run, reading the very file whose identity was checked, which no one
  // may write while it runs.
  if (facts.soleMatch && !listedPath.empty() && facts.origin.known) {
    const UniqueHandle input = OpenArchiveInput(archivePath, Writers::KeptOut);
    if (input.valid() && OriginOf(input.get(), settings) == facts.origin) {
      result = ExtractAlone(input.get(), ToolExePath(settings), listedPath, static_cast<std::int64_t>(record.size),
                            block, writtenPath);
    }
    if (result != Success) EmptyFolder(request.folder());
  }
  // Otherwise, or when that run did not give the member: list afresh.
  if (result != Success) result = ExtractMember(archivePath, record, listedPath, settings, block, writtenPath);
  if (result != Success) return result;
  if (toMemory) {
    *blockOut = block.release();
    return Success;
  }

  // The output gets the name the tool itself wrote: each character Windows
  // forbids in file names is "_", and a name the code page cannot show has
  // its real characters.
  const std::wstring name(LastComponent(writtenPath, L'\\'));
  const std::wstring folder = FullPathOf(destFolder);
  if (folder.empty() || !IsPlainFileName(name)) return WriteError;
  const std::optional<std::wstring> outputPath =
      PathInsideFolder(folder.back() == L'\\' ? folder.substr(0, folder.size() - 1) : folder, name);
  if (!outputPath) return WriteError;
  return WriteNewFile(*outputPath, block.get(), LocalSize(block.get()));
}

}  // namespace qibor

#include "extract/extract_member.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "extract/member_path.h"
#include "extract/member_selection.h"
#include "extract/written_files.h"
#include "floor/code_page_text.h"
#include "floor/files.h"
#include "floor/folder_tree.h"
#include "floor/win_path.h"
#include "interface/settings.h"
#include "listing/member_size.h"
#include "tool/captures.h"
#include "tool/commands.h"
#include "tool/run_tool.h"
#include "tool/work_folder.h"

namespace qibor {
namespace {

// Reads and writes go in pieces: one call moves less than 4 GiB.
constexpr DWORD kPieceBytes = 1u << 24;

ExtractionArguments ArgumentsFor(const SelectedMember& member) {
  ExtractionArguments arguments;
  arguments.pattern = member.pattern;
  arguments.stopAtFirst = member.run == ExtractionRun::StopAtFirst;
  arguments.excludeBelow = member.run == ExtractionRun::ReadAll;
  arguments.exclusions = member.exclusions;
  return arguments;
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
    DecodeTextInto(line.text, codePage, text);
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

// After the run: only the member, and the folders on its way, may have been
// written, under a name that prints as the listed one, with the listed size.
ResultCode CollectWritten(const std::optional<std::string>& output, const std::wstring& printedPath,
                          const std::wstring& relative, bool wildcards, std::int64_t size, ExtractedMember& out) {
  const std::wstring& folder = CurrentRequestFolder();
  if (!output || ToolReportedFailure(*output, printedPath)) return ReadError;
  // The capture files may stand beside the member.
  std::optional<std::wstring> written = relative;
  if (wildcards) {
    written = TheOnlyFileWritten(folder, kCaptureFileNames);
    if (!written || !PrintsAs(*written, printedPath, ToolOutputCodePage())) return ReadError;
  } else if (!OnlyFileWritten(folder, relative, kCaptureFileNames)) {
    return ReadError;
  }
  UniqueLocal block;
  const auto loaded = static_cast<ResultCode>(LoadFileIntoBlock(folder + L"\\" + *written, block));
  // Only the member and the plain folders on its way are there: they go by
  // name, with no walk. Whatever stays goes with the request folder.
  RemoveFileAndItsFolders(folder, *written);
  if (loaded != Success) return loaded;
  // Bytes of another size than listed are not this member's.
  if (LocalSize(block.get()) != static_cast<SIZE_T>(size)) return ReadError;
  out.block = std::move(block);
  out.writtenPath = *written;
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

}  // namespace

std::optional<AloneRun> PlanAloneRun(const std::string& listedPath) {
  AloneRun run;
  run.printedName = DecodeText(listedPath, ToolOutputCodePage());
  std::optional<std::wstring> relative = WrittenRelativePath(run.printedName);
  if (!relative) return std::nullopt;
  run.arguments.pattern = EscapeMemberPattern(run.printedName);
  run.written = std::move(*relative);
  // At the top, the member has no folders to make, walk and remove. One
  // named as a capture stays in its folders, away from the captures.
  const std::optional<TopLevelWrite> top = TopLevelWriteOf(listedPath, run.printedName, run.written);
  if (top && !IsCaptureFileName(top->writtenName)) {
    run.arguments.strippedLevels = top->strippedLevels;
    run.written = top->writtenName;
    run.printedName = top->printedName;
  }
  return run;
}

ResultCode ExtractAlone(HANDLE archive, const std::wstring& toolPath, const std::string& listedPath,
                        std::int64_t size, ExtractedMember& out, const std::function<bool()>& trustWhileRunning) {
  const std::optional<AloneRun> run = PlanAloneRun(listedPath);
  if (toolPath.empty() || !run || !PathInsideFolder(CurrentRequestFolder(), run->written)) return ReadError;
  const std::optional<std::string> output =
      CaptureToolOutputOn(ExtractionCommand(toolPath, run->arguments), archive, ExtractionOutputFile(),
                          ErrorStream::Capture, trustWhileRunning);
  return CollectWritten(output, run->printedName, run->written, false, size, out);
}

ResultCode ExtractMember(const std::wstring& archivePath, const ArchiveEntryW& record,
                         const std::string& listedPath, const Settings& settings, ExtractedMember& out) {
  const std::wstring& folder = CurrentRequestFolder();
  const std::wstring toolPath = ToolExePath(settings);
  if (folder.empty() || toolPath.empty()) return ReadError;
  const std::int64_t sizeLimit = SizeLimitFromMaxMB(settings.maxMB);
  const std::optional<SelectedMember> member = SelectMember(toolPath, archivePath, record, listedPath, sizeLimit);
  if (!member) return ReadError;
  const std::optional<std::wstring> relative = CheckedRelativePath(member->printedPath);
  if (!relative) return ReadError;
  const std::optional<std::string> output = CaptureToolOutput(ExtractionCommand(toolPath, ArgumentsFor(*member)),
                                                              archivePath, ExtractionOutputFile(), ErrorStream::Capture);
  return CollectWritten(output, member->printedPath, *relative, member->wildcards, member->size, out);
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

ResultCode SaveIntoFolder(const std::wstring& destFolder, const ExtractedMember& member) {
  const std::wstring name(LastComponent(member.writtenPath, L'\\'));
  const std::wstring folder = FullPathOf(destFolder);
  if (folder.empty() || !IsPlainFileName(name)) return WriteError;
  const std::optional<std::wstring> outputPath =
      PathInsideFolder(folder.back() == L'\\' ? folder.substr(0, folder.size() - 1) : folder, name);
  if (!outputPath) return WriteError;
  return WriteNewFile(*outputPath, member.block.get(), LocalSize(member.block.get()));
}

}  // namespace qibor

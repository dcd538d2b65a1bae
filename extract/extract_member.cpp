#include "extract/extract_member.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "extract/member_path.h"
#include "interface/settings.h"
#include "interface/win_owners.h"
#include "interface/win_path.h"
#include "listing/captured_lines.h"
#include "listing/kept_members.h"
#include "listing/listing_builder.h"
#include "listing/listing_cache.h"
#include "listing/member_size.h"
#include "listing/request_lock.h"
#include "listing/tar_tool.h"

namespace qibor {
namespace {

// Reads and writes go in pieces: one call moves less than 4 GiB.
constexpr DWORD kPieceBytes = 1u << 24;

// A name stored more than once matches every copy: the tool writes them all
// in turn, so the last copy is what remains, and with -q it stops at the
// first. A copy between them cannot be had alone.
enum class CopyChoice { Any, First, Unreachable };

// The member at a position of fresh listings, as the tool names it.
struct ListedMember {
  std::string path;  // the tool's bytes
  std::int64_t size = 0;
  CopyChoice copy = CopyChoice::Any;
};

std::optional<ListedMember> FindListedMember(const std::wstring& toolPath, const std::wstring& archivePath,
                                             std::uint64_t position) {
  ListingCaptures captures;
  if (!RunListings(toolPath, archivePath, captures)) return std::nullopt;
  std::optional<ListedMember> found;
  std::size_t line = 0;
  std::uint64_t seen = 0;
  const bool read = ForEachKeptMember(captures, SizeLimitFromMaxMB(ReadMaxMB()),
                                      [&](const KeptMember& member, std::string_view plainLine) {
                                        if (seen++ < position) return true;
                                        found = ListedMember{std::string(plainLine), member.size, CopyChoice::Any};
                                        line = member.line;
                                        return false;
                                      });
  if (!read || !found) return std::nullopt;

  // Other lines with the same path, before and after this one.
  bool before = false;
  bool after = false;
  if (!RewindCapture(captures.plain)) return std::nullopt;
  CapturedLine plainLine;
  for (std::size_t i = 0; ReadLine(captures.plain, plainLine); ++i) {
    if (i != line && plainLine.text == found->path) (i < line ? before : after) = true;
  }
  if (captures.plain.failed) return std::nullopt;
  if (after) found->copy = before ? CopyChoice::Unreachable : CopyChoice::First;
  return found;
}

std::wstring ExtractionCommand(const std::wstring& toolPath, const std::wstring& archivePath,
                               const std::wstring& workDirectory, const std::wstring& memberPath,
                               CopyChoice copy) {
  return QuoteArgument(toolPath) + (copy == CopyChoice::First ? L" xqf " : L" xf ") + QuoteArgument(archivePath) +
         L" -C" + QuoteArgument(workDirectory) + L" -- " + QuoteArgument(EscapeMemberPattern(memberPath));
}

// Reads the extracted file whole into a new block.
ResultCode LoadFileIntoBlock(const std::wstring& path, UniqueLocal& block) {
  const UniqueHandle file = OpenForReading(path);
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

}  // namespace

ResultCode ExtractMember(const std::wstring& archivePath, std::uint64_t position, UniqueLocal& blockOut,
                         std::wstring& memberPathOut) {
  const std::wstring toolPath = ToolPath();
  const std::optional<ListedMember> member = FindListedMember(toolPath, archivePath, position);
  if (!member || member->copy == CopyChoice::Unreachable) return ReadError;
  const std::wstring memberPath = DecodeToolText(member->path, ToolOutputCodePage());
  if (!IsSafeMemberPath(memberPath)) return ReadError;

  const std::wstring workDirectory = WorkDirectory();
  if (workDirectory.empty()) return ReadError;
  const std::wstring extractedPath = CombinePath(workDirectory, ExtractedRelativePath(memberPath));
  if (extractedPath.empty()) return ReadError;
  // A file already there is a leftover of an interrupted request.
  if (FileExists(extractedPath) && !DeleteFileRetrying(extractedPath)) return ReadError;

  const std::wstring command = ExtractionCommand(toolPath, archivePath, workDirectory, memberPath, member->copy);
  const std::optional<std::string> output = CaptureToolOutput(command, PlainListingFile(), ErrorStream::Capture);
  if (!output || ToolReportedFailure(*output, memberPath) || !FileExists(extractedPath)) {
    DeleteFileRetrying(extractedPath);
    return ReadError;
  }

  UniqueLocal block;
  const ResultCode loaded = LoadFileIntoBlock(extractedPath, block);
  DeleteFileRetrying(extractedPath);
  if (loaded != Success) return loaded;
  // Bytes of another size than listed are not this member's.
  if (LocalSize(block.get()) != static_cast<SIZE_T>(member->size)) return ReadError;
  blockOut = std::move(block);
  memberPathOut = memberPath;
  return Success;
}

ResultCode WriteNewFile(const std::wstring& outputPath, const void* bytes, std::uint64_t size) {
  UniqueHandle file(CreateFileW(outputPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
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
    DeleteFileW(outputPath.c_str());
    return WriteError;
  }
  return Success;
}

ResultCode FetchMember(const std::wstring& archivePath, std::uint64_t position, const std::wstring& destFolder,
                       HLOCAL* blockOut, std::uint32_t flag) {
  if ((flag & 7) != 0) return NotImplemented;
  const bool toMemory = (flag & 0x100) != 0;
  // An empty folder would put the file in the host's current folder.
  if (!toMemory && destFolder.empty()) return WriteError;

  RequestLock lock;
  ArchiveEntryW record{};
  record.position = position;
  const ResultCode found = LookupOrBuildListing(archivePath, 0, nullptr, &record);
  if (found != Success) return found;

  UniqueLocal block;
  std::wstring memberPath;
  const ResultCode result = ExtractMember(archivePath, record.position, block, memberPath);
  if (result != Success) return result;
  if (toMemory) {
    *blockOut = block.release();
    return Success;
  }

  // Named after the member the fresh listing gave, which is the one written
  // even when the cached record at this position has gone stale.
  // The output gets the name the tool itself would write on Windows: each
  // character Windows forbids in file names becomes "_".
  const std::wstring name = ExtractedRelativePath(MemberName(memberPath));
  if (!IsPlainFileName(name)) return WriteError;
  const std::wstring outputPath = CombinePath(destFolder, name);
  if (outputPath.empty()) return WriteError;
  return WriteNewFile(outputPath, block.get(), LocalSize(block.get()));
}

}  // namespace qibor

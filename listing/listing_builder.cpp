#include "listing/listing_builder.h"

#include "interface/settings.h"
#include "interface/win_owners.h"
#include "listing/member_size.h"
#include "listing/tar_tool.h"

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

}  // namespace

std::optional<ToolListing> ListArchiveMembers(const std::wstring& toolPath, const std::wstring& archivePath) {
  if (toolPath.empty()) return std::nullopt;
  EnsureWorkDirectory();
  const std::optional<std::string> plain =
      CaptureToolOutput(PlainListingCommand(toolPath, archivePath), PlainListingFile(), ErrorStream::Discard);
  if (!plain) return std::nullopt;
  const std::optional<std::string> verbose =
      CaptureToolOutput(VerboseListingCommand(toolPath, archivePath), VerboseListingFile(), ErrorStream::Discard);
  if (!verbose) return std::nullopt;

  ToolListing listing;
  listing.plainLines = DecodeCapturedLines(*plain);
  listing.verboseLines = DecodeCapturedLines(*verbose);
  listing.kept = FindKeptMembers(listing.plainLines, listing.verboseLines, SizeLimitFromMaxMB(ReadMaxMB()));
  return listing;
}

ResultCode BuildListing(const std::wstring& archivePath, HLOCAL* listOut) {
  *listOut = nullptr;
  std::optional<ToolListing> listing;
  try {
    listing = ListArchiveMembers(ToolPath(), archivePath);
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
  if (!listing) return ReadError;

  const std::size_t count = listing->kept.size();
  UniqueLocal block(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, (count + 1) * sizeof(ArchiveEntryW)));
  if (!block) return OutOfMemory;

  const std::optional<std::int64_t> timestamp = ArchiveTimestamp(archivePath);
  if (!timestamp) return ReadError;

  auto* records = block.as<ArchiveEntryW>();
  for (std::size_t position = 0; position < count; ++position) {
    const KeptMember& member = listing->kept[position];
    FillMemberRecord(records[position], position, member.size, *timestamp, listing->plainLines[member.line]);
  }
  *listOut = block.release();
  return Success;
}

}  // namespace qibor

#include "probe/probe.h"

#include <windows.h>
#include <shlwapi.h>

#include "interface/settings.h"
#include "interface/win_path.h"
#include "listing/captured_lines.h"
#include "listing/tar_tool.h"
#include "probe/probe_lines.h"
#include "probe/text_encoding.h"

namespace qibor {
namespace {

std::wstring LowerCased(std::wstring_view text) {
  std::wstring lowered(text);
  if (!lowered.empty()) CharLowerBuffW(lowered.data(), static_cast<DWORD>(lowered.size()));
  return lowered;
}

bool NameIsPlainAscii(const CapturedLine& line) {
  // Classify the name's bytes as the tool wrote them, line feed included.
  std::string name(VerboseLineName(line.text));
  if (line.endedWithLineFeed) name.push_back('\n');
  return ClassifyTextEncoding(reinterpret_cast<const unsigned char*>(name.data()),
                              static_cast<std::uint32_t>(name.size())) == TextAscii;
}

}  // namespace

bool ExtensionInList(std::wstring_view extension, std::wstring_view extensionList) {
  if (extensionList.empty()) return true;
  if (extension.empty()) return false;
  return LowerCased(extensionList).find(LowerCased(extension)) != std::wstring::npos;
}

bool ProbeArchive(const std::wstring& archivePath, const unsigned char* /*header*/) {
  if (archivePath.empty()) return false;
  // The tool takes an empty file for an empty archive; GetArchiveInfo wants
  // 8 bytes, so fewer are no archive here either.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(archivePath.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeHigh == 0 &&
      data.nFileSizeLow < 8) {
    return false;
  }
  const std::wstring toolPath = ToolPath();
  if (toolPath.empty() || !FileExists(toolPath)) return false;
  const std::wstring extensionList = ReadTarExtensions();

  EnsureWorkDirectory();
  const std::optional<std::string> output =
      CaptureToolOutput(VerboseListingCommand(toolPath, archivePath), PlainListingFile(), ErrorStream::Capture);
  if (!output) return false;

  const bool checkNames = ExtensionInList(PathFindExtensionW(archivePath.c_str()), extensionList);
  for (const CapturedLine& line : SplitCapturedLines(*output)) {
    if (IsOpenErrorLine(line.text)) return false;
    if (checkNames && !NameIsPlainAscii(line)) return false;
  }
  return true;
}

}  // namespace qibor

#include "probe/probe.h"

#include <windows.h>
#include <shlwapi.h>

#include "floor/files.h"
#include "floor/win_path.h"
#include "interface/settings.h"
#include "probe/probe_lines.h"
#include "probe/text_encoding.h"
#include "tool/commands.h"
#include "tool/run_tool.h"

namespace qibor {
namespace {

std::wstring LowerCased(std::wstring_view text) {
  std::wstring lowered(text);
  if (!lowered.empty()) CharLowerBuffW(lowered.data(), static_cast<DWORD>(lowered.size()));
  return lowered;
}

bool NameIsPlainAscii(const CapturedLine& line) {
  // The name's bytes as the tool wrote them. The line feed after them is
  // ASCII too, so it changes nothing and is left out.
  const std::string_view name = VerboseLineName(line.text);
  return ClassifyTextEncoding(reinterpret_cast<const unsigned char*>(name.data()),
                              static_cast<std::uint32_t>(name.size())) == TextAscii;
}

}  // namespace

bool ExtensionInList(std::wstring_view extension, std::wstring_view extensionList) {
  if (extensionList.empty()) return true;
  if (extension.empty()) return false;
  return LowerCased(extensionList).find(LowerCased(extension)) != std::wstring::npos;
}

void AddProbeLine(const CapturedLine& line, bool checkNames, ProbeLines& lines) {
  if (lines.refused) return;
  if (IsOpenErrorLine(line.text)) {
    lines.refused = true;
  } else if (IsToolMessageLine(line.text)) {
    lines.toolMessage = true;
  } else {
    ++lines.entries;
    if (checkNames && !NameIsPlainAscii(line)) lines.refused = true;
  }
}

namespace {

// Adds what the lines of one capture say.
bool AddProbeLines(CaptureStream& output, bool checkNames, ProbeLines& lines) {
  CapturedLine line;
  while (!lines.refused && ReadLine(output, line)) AddProbeLine(line, checkNames, lines);
  return !output.failed;
}

}  // namespace

bool CaptureShowsAnArchive(const std::wstring& capturePath, bool checkNames, bool exitedWell) {
  CaptureStream output;
  if (!OpenCapture(capturePath, output)) return false;
  ProbeLines lines;
  return AddProbeLines(output, checkNames, lines) && ProbeAccepts(lines, exitedWell);
}

bool ListingShowsAnArchive(CaptureStream& verbose, const std::wstring& errorsPath, bool checkNames,
                           bool exitedWell) {
  ProbeLines lines;
  if (!RewindCapture(verbose) || !AddProbeLines(verbose, checkNames, lines)) return false;
  return ErrorsLeaveAnArchive(lines, errorsPath, exitedWell);
}

bool ErrorsLeaveAnArchive(ProbeLines lines, const std::wstring& errorsPath, bool exitedWell) {
  CaptureStream errors;
  if (!OpenCapture(errorsPath, errors) || !AddProbeLines(errors, false, lines)) return false;
  return ProbeAccepts(lines, exitedWell);
}

bool ChecksNames(const std::wstring& archivePath, const Settings& settings) {
  return ExtensionInList(PathFindExtensionW(archivePath.c_str()), settings.tarExtensions);
}

bool ProbeArchive(const std::wstring& archivePath, const unsigned char* /*header*/, const Settings& settings) {
  if (archivePath.empty()) return false;
  // The tool takes an empty file for an empty archive; GetArchiveInfo wants
  // 8 bytes, so fewer are no archive here either.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(archivePath.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeHigh == 0 &&
      data.nFileSizeLow < 8) {
    return false;
  }
  const std::wstring toolPath = ToolExePath(settings);
  if (toolPath.empty() || !FileExists(toolPath)) return false;

  const std::wstring capturePath = ProbeOutputFile();
  DWORD exitCode = 1;
  if (!RunHidden(VerboseListingCommand(toolPath), archivePath, capturePath, ErrorStream::Capture, &exitCode)) {
    return false;
  }

  const bool checkNames = ChecksNames(archivePath, settings);
  const bool accepted = CaptureShowsAnArchive(capturePath, checkNames, exitCode == 0);
  DeleteFileRetrying(capturePath);
  return accepted;
}

}  // namespace qibor

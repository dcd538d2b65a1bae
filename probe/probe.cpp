#include "probe/probe.h"

#include <windows.h>
#include <shlwapi.h>

#include "floor/win_path.h"
#include "interface/settings.h"
#include "probe/probe_lines.h"
#include "tool/commands.h"
#include "tool/run_tool.h"

namespace qibor {
namespace {

std::wstring LowerCased(std::wstring_view text) {
  std::wstring lowered(text);
  if (!lowered.empty()) CharLowerBuffW(lowered.data(), static_cast<DWORD>(lowered.size()));
  return lowered;
}

}  // namespace

bool ExtensionInList(std::wstring_view extension, std::wstring_view extensionList) {
  if (extensionList.empty()) return true;
  if (extension.empty()) return false;
  return LowerCased(extensionList).find(LowerCased(extension)) != std::wstring::npos;
}

bool ChecksNames(const std::wstring& archivePath, const Settings& settings) {
  return ExtensionInList(PathFindExtensionW(archivePath.c_str()), settings.tarExtensions);
}

bool ProbeArchive(const std::wstring& folder, const std::wstring& archivePath, const Settings& settings) {
  if (archivePath.empty()) return false;
  const UniqueHandle archive = OpenArchive(archivePath);
  // The tool takes an empty file for an empty archive; GetArchiveInfo wants
  // 8 bytes, so fewer are no archive here either.
  LARGE_INTEGER size{};
  if (!archive.valid() || !GetFileSizeEx(archive.get(), &size) || size.QuadPart < 8) return false;
  const std::wstring toolPath = ToolExePath(settings);
  if (toolPath.empty() || !FileExists(toolPath)) return false;
  const std::optional<RunOutput> output =
      RunForOutput(folder, VerboseListingCommand(toolPath), archive.get(), Capture::Probe, true);
  if (!output) return false;
  ProbeLines lines;
  AddProbeLines(output->text, ChecksNames(archivePath, settings), lines);
  return ProbeAccepts(lines, output->exitedWell);
}

}  // namespace qibor

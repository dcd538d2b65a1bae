#include "support/plugin_host.h"

namespace qibor::test {
namespace {

// The copy keeps the plug-in's own name: qibor.sph, or qibor.spi in the
// 32-bit build.
std::wstring PluginFileName() {
  const std::wstring plugin = WindowsPath(QIBOR_PLUGIN);
  return plugin.substr(plugin.find_last_of(L"\\/") + 1);
}

}  // namespace

PluginFolder::PluginFolder(Settings settings, const std::wstring& folderName) : folder(folderName) {
  CopyFileW(WindowsPath(QIBOR_PLUGIN).c_str(), (folder / PluginFileName()).c_str(), FALSE);
  WriteSettings(folder / L"qibor.ini", settings);
}

LoadedPlugin::LoadedPlugin(Settings settings, const std::wstring& folderName)
    : PluginFolder(settings, folderName), PluginModule(PluginFolder::folder / PluginFileName()) {}

std::vector<ArchiveEntryW> ListRecords(HLOCAL list) {
  std::vector<ArchiveEntryW> records;
  if (list == nullptr) return records;
  const auto* record = static_cast<const ArchiveEntryW*>(list);
  const std::size_t capacity = LocalSize(list) / sizeof(ArchiveEntryW);
  for (std::size_t i = 0; i < capacity && !IsTerminator(record[i]); ++i) records.push_back(record[i]);
  return records;
}

std::wstring RecordName(const ArchiveEntryW& record) { return std::wstring(record.name); }

}  // namespace qibor::test

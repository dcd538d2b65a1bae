#include "support/plugin_host.h"

#include <vector>

namespace qibor::test {
namespace {
template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
}  // namespace

LoadedPlugin::LoadedPlugin(Settings settings, const std::wstring& folderName) : folder_(folderName) {
  const std::wstring plugin = folder_ / L"qibor.sph";
  CopyFileW(WindowsPath(QIBOR_PLUGIN).c_str(), plugin.c_str(), FALSE);
  WriteSettings(IniPath(), settings);
  module_ = LoadLibraryW(plugin.c_str());
  if (module_ == nullptr) return;
  Bind(module_, "GetPluginInfoW", GetPluginInfoW);
  Bind(module_, "IsSupportedW", IsSupportedW);
  Bind(module_, "GetArchiveInfoW", GetArchiveInfoW);
  Bind(module_, "GetFileInfoW", GetFileInfoW);
  Bind(module_, "GetFileW", GetFileW);
  Bind(module_, "GetPluginInfo", GetPluginInfo);
  Bind(module_, "IsSupported", IsSupported);
  Bind(module_, "GetArchiveInfo", GetArchiveInfo);
  Bind(module_, "GetFileInfo", GetFileInfo);
  Bind(module_, "GetFile", GetFile);
}

void LoadedPlugin::Unload() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
}

LoadedPlugin::~LoadedPlugin() { Unload(); }

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

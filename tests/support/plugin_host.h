#pragma once
// Loads a copy of the plug-in the way a viewer does, with its own settings file.
#include <windows.h>

#include <string>
#include <vector>

#include "interface/records.h"
#include "support/test_support.h"
#include "tools/plugin_module.h"

namespace qibor::test {

// A fresh folder holding a copy of the plug-in and the given settings.
struct PluginFolder {
  PluginFolder(Settings settings, const std::wstring& folderName);
  TestFolder folder;
};

class LoadedPlugin : private PluginFolder, public PluginModule {
 public:
  // Copies the plug-in into a fresh folder with the given settings and loads it.
  explicit LoadedPlugin(Settings settings, const std::wstring& folderName = L"plugin");
  std::wstring IniPath() const { return PluginFolder::folder / L"qibor.ini"; }
  const TestFolder& folder() const { return PluginFolder::folder; }
};

// The records of a wide list up to its terminator.
std::vector<ArchiveEntryW> ListRecords(HLOCAL list);
std::wstring RecordName(const ArchiveEntryW& record);

}  // namespace qibor::test

#pragma once
// Loads a copy of qibor.sph the way a viewer does, with its own settings file.
#include <windows.h>

#include <string>

#include "interface/exports.h"
#include "interface/records.h"
#include "support/test_support.h"

namespace qibor::test {


class LoadedPlugin {
 public:
  // Copies the plug-in into a fresh folder with the given settings and loads it.
  explicit LoadedPlugin(Settings settings, const std::wstring& folderName = L"plugin");
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;
  ~LoadedPlugin();

  bool loaded() const { return module_ != nullptr; }
  void Unload();
  std::wstring IniPath() const { return folder_ / L"qibor.ini"; }
  const TestFolder& folder() const { return folder_; }

  GetPluginInfoWFn GetPluginInfoW = nullptr;
  IsSupportedWFn IsSupportedW = nullptr;
  GetArchiveInfoWFn GetArchiveInfoW = nullptr;
  GetFileInfoWFn GetFileInfoW = nullptr;
  GetFileWFn GetFileW = nullptr;
  GetPluginInfoFn GetPluginInfo = nullptr;
  IsSupportedFn IsSupported = nullptr;
  GetArchiveInfoFn GetArchiveInfo = nullptr;
  GetFileInfoFn GetFileInfo = nullptr;
  GetFileFn GetFile = nullptr;

 private:
  TestFolder folder_;
  HMODULE module_ = nullptr;
};

// The records of a wide list up to its terminator.
std::vector<ArchiveEntryW> ListRecords(HLOCAL list);
std::wstring RecordName(const ArchiveEntryW& record);

}  // namespace qibor::test

#pragma once
// A Susie archive plug-in loaded the way a viewer loads it (LoadLibraryW and
// GetProcAddress on the ten exports by name), for the command-line host,
// the benchmark, the soak and the tests.
#include <windows.h>

#include <string>

#include "exports/exports.h"

namespace qibor {

// The ten exports, null where missing.
struct PluginExports {
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
};

class PluginModule : public PluginExports {
 public:
  explicit PluginModule(const std::wstring& path);
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;
  ~PluginModule() { Unload(); }

  // Loaded, with all ten exports found.
  bool loaded() const;
  // Frees the module; every export is null after.
  void Unload();

 private:
  HMODULE module_ = nullptr;
};

}  // namespace qibor

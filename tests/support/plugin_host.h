#pragma once
// Loads a copy of qibor.sph the way a viewer does, with its own settings file.
#include <windows.h>

#include <string>

#include "interface/records.h"
#include "support/test_support.h"

namespace qibor::test {

using GetPluginInfoWFn = int(WINAPI*)(int, LPWSTR, int);
using IsSupportedWFn = int(WINAPI*)(LPCWSTR, void*);
using GetArchiveInfoWFn = int(WINAPI*)(LPCWSTR, LONG_PTR, unsigned int, HLOCAL*);
using GetFileInfoWFn = int(WINAPI*)(LPCWSTR, LONG_PTR, LPCWSTR, unsigned int, ArchiveEntryW*);
using GetFileWFn = int(WINAPI*)(LPCWSTR, LONG_PTR, LPWSTR, unsigned int, FARPROC, LONG_PTR);
using GetPluginInfoFn = int(WINAPI*)(int, LPSTR, int);
using IsSupportedFn = int(WINAPI*)(LPCSTR, void*);
using GetArchiveInfoFn = int(WINAPI*)(LPCSTR, LONG_PTR, unsigned int, HLOCAL*);
using GetFileInfoFn = int(WINAPI*)(LPCSTR, LONG_PTR, LPCSTR, unsigned int, ArchiveEntryA*);
using GetFileFn = int(WINAPI*)(LPCSTR, LONG_PTR, LPSTR, unsigned int, FARPROC, LONG_PTR);

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

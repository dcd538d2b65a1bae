#pragma once
// The ten functions a host calls, as the host sees them.
#include <windows.h>

#include "interface/records.h"

extern "C" {
// Each wide function, then its ANSI form.
int WINAPI GetPluginInfoW(int index, LPWSTR buffer, int bufferLength);
int WINAPI GetPluginInfo(int index, LPSTR buffer, int bufferLength);
int WINAPI IsSupportedW(LPCWSTR archivePath, void* source);
int WINAPI IsSupported(LPCSTR archivePath, void* source);
int WINAPI GetArchiveInfoW(LPCWSTR archivePath, LONG_PTR offset, unsigned int flag, HLOCAL* listOut);
int WINAPI GetArchiveInfo(LPCSTR archivePath, LONG_PTR offset, unsigned int flag, HLOCAL* listOut);
int WINAPI GetFileInfoW(LPCWSTR archivePath, LONG_PTR offset, LPCWSTR memberName, unsigned int flag,
                        qibor::ArchiveEntryW* recordOut);
int WINAPI GetFileInfo(LPCSTR archivePath, LONG_PTR offset, LPCSTR memberName, unsigned int flag,
                       qibor::ArchiveEntryA* recordOut);
int WINAPI GetFileW(LPCWSTR archivePath, LONG_PTR memberPosition, LPWSTR dest, unsigned int flag,
                    FARPROC progressCallback, LONG_PTR userData);
int WINAPI GetFile(LPCSTR archivePath, LONG_PTR memberPosition, LPSTR dest, unsigned int flag,
                   FARPROC progressCallback, LONG_PTR userData);
}

namespace qibor {

// Pointer types for hosts that bind the exports with GetProcAddress.
using GetPluginInfoWFn = decltype(&::GetPluginInfoW);
using IsSupportedWFn = decltype(&::IsSupportedW);
using GetArchiveInfoWFn = decltype(&::GetArchiveInfoW);
using GetFileInfoWFn = decltype(&::GetFileInfoW);
using GetFileWFn = decltype(&::GetFileW);
using GetPluginInfoFn = decltype(&::GetPluginInfo);
using IsSupportedFn = decltype(&::IsSupported);
using GetArchiveInfoFn = decltype(&::GetArchiveInfo);
using GetFileInfoFn = decltype(&::GetFileInfo);
using GetFileFn = decltype(&::GetFile);

}  // namespace qibor

#pragma once
// Path helpers over the shell's path calls, with the 259-unit limit checked
// instead of assumed.
#include <windows.h>

#include <string>
#include <string_view>

namespace qibor {

// PathCombineW of the two parts; empty when the result would not fit MAX_PATH.
std::wstring CombinePath(std::wstring_view folder, std::wstring_view name);

// The full path of a module (null: the process's executable), any length.
std::wstring ModuleFilePath(HMODULE module);

bool FileExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);

// The path in the form Windows opens past MAX_PATH ("\\?\" before a full
// path); shorter paths stay as they are.
std::wstring LongPathForm(const std::wstring& path);

// What Windows makes of the path (GetFullPathNameW, any length); empty when
// it cannot say.
std::wstring FullPathOf(const std::wstring& path);

}  // namespace qibor

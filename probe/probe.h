#pragma once
// Whether qibor takes a file as an archive: the tool must be able to list it,
// and for the extensions under the `tar` setting its member names must be
// plain ASCII.
#include <string>
#include <string_view>

#include "interface/settings_text.h"

namespace qibor {

// True when the extension occurs in the list (both lower-cased, a plain
// substring search), and always when the list is empty.
bool ExtensionInList(std::wstring_view extension, std::wstring_view extensionList);
// Whether names are checked for this archive: its extension is in `tar`.
bool ChecksNames(const std::wstring& archivePath, const Settings& settings);

// Runs the tool's verbose listing of the file in the request's folder, its
// error stream captured too, and accepts unless the tool cannot run, refuses
// to open the file or reads nothing of it, or a checked name is not plain
// ASCII. Never writes the caller's path.
bool ProbeArchive(const std::wstring& folder, const std::wstring& archivePath, const Settings& settings);

}  // namespace qibor

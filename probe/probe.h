#pragma once
// Whether qibor takes a file as an archive: the tool must be able to list it,
// and for the extensions under the `tar` setting its member names must be
// plain ASCII.
#include <string>
#include <string_view>

#include "interface/settings_text.h"
#include "probe/probe_lines.h"
#include "tool/captures.h"

namespace qibor {

// True when the extension occurs in the list (both lower-cased, a plain
// substring search), and always when the list is empty.
bool ExtensionInList(std::wstring_view extension, std::wstring_view extensionList);

// Reads the probe's capture: false when it cannot be read, holds a line where
// the tool refused to open the file, (with `checkNames`) names a member with
// other than plain ASCII, or lists no entry while the tool complained or did
// not exit well.
bool CaptureShowsAnArchive(const std::wstring& capturePath, bool checkNames, bool exitedWell);
// The same for a listing's verbose run, its output and its error stream in
// captures of their own: the listing answers what the probe would ask.
bool ListingShowsAnArchive(CaptureStream& verbose, const std::wstring& errorsPath, bool checkNames,
                           bool exitedWell);
// The same in pieces, for a listing that reads its verbose capture as the
// run writes it: each of its lines, then the error stream's once the run has
// ended.
void AddProbeLine(const CapturedLine& line, bool checkNames, ProbeLines& lines);
bool ErrorsLeaveAnArchive(ProbeLines lines, const std::wstring& errorsPath, bool exitedWell);
// Whether names are checked for this archive: its extension is in `tar`.
bool ChecksNames(const std::wstring& archivePath, const Settings& settings);

// Runs the tool's verbose listing of the file, its error stream captured too,
// and accepts unless the tool cannot run, refuses to open the file or reads
// nothing of it, or a checked name is not plain ASCII. Never writes the caller's path. The caller
// holds the request lock.
bool ProbeArchive(const std::wstring& archivePath, const unsigned char* header, const Settings& settings);

}  // namespace qibor

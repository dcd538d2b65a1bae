#pragma once
// Runs the tar tool hidden, its output captured in a file of the work folder,
// and reads that output back.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interface/win_owners.h"

namespace qibor {

// "qibor" under the user's temp folder; empty when it does not fit a path.
std::wstring WorkDirectory();
// Creates the work folder when it is missing.
void EnsureWorkDirectory();
// The two fixed capture files of the work folder.
std::wstring PlainListingFile();
std::wstring VerboseListingFile();

// Quotes one argument so that the C runtime's parser gives it back unchanged.
std::wstring QuoteArgument(std::wstring_view argument);

// "TOOL" tf "ARCHIVE" and "TOOL" tvf "ARCHIVE".
std::wstring PlainListingCommand(const std::wstring& toolPath, const std::wstring& archivePath);
std::wstring VerboseListingCommand(const std::wstring& toolPath, const std::wstring& archivePath);

enum class ErrorStream { Discard, Capture };

// Starts the command line hidden with its standard output (and, if asked, its
// error stream) going to a fresh capture file, waits for it, reads the file
// back whole and deletes it. No value when the tool cannot be started or its
// output cannot be read.
std::optional<std::string> CaptureToolOutput(const std::wstring& commandLine, const std::wstring& capturePath,
                                             ErrorStream errors);

// Runs the command line hidden with its output going to the capture file and
// waits for it; false when it cannot be started.
bool RunHidden(const std::wstring& commandLine, const std::wstring& capturePath, ErrorStream errors);

// Opens a file for reading, retrying while another process briefly holds it.
UniqueHandle OpenForReading(const std::wstring& path);
// Reads exactly `size` bytes from the file's position; false on a failed or
// short read.
bool ReadExactly(HANDLE file, void* bytes, std::uint64_t size);
// Reads a whole file, retrying while another process briefly holds it.
std::optional<std::string> ReadWholeFile(const std::wstring& path);
// Deletes a file, retrying while another process briefly holds it. True when
// the file is gone.
bool DeleteFileRetrying(const std::wstring& path);

// The user's default ANSI code page, which the tool writes its output in.
UINT ToolOutputCodePage();
std::wstring DecodeToolText(std::string_view bytes, UINT codePage);
// The captured output as decoded lines without their line ends.
std::vector<std::wstring> DecodeCapturedLines(std::string_view output);

}  // namespace qibor

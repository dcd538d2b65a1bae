#pragma once
// Finding the member a fetch names in fresh listings, and the one run of the
// tool that writes it and nothing else. The tool prints names in the user's
// code page ("?" for a unit it cannot show, look-alikes for others) but
// matches its argument against the real names, so where the printed names
// leave a doubt, a listing of what the argument selects settles it.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "extract/extraction_plan.h"
#include "interface/records.h"

namespace qibor {

struct SelectedMember {
  std::string path;          // as the tool printed it, its bytes
  std::wstring printedPath;  // the same, decoded
  std::int64_t size = 0;
  std::wstring pattern;      // the member argument
  bool wildcards = false;    // the written name is known only once written
  ExtractionRun run = ExtractionRun::Refuse;
  // Entries the argument also selects that the run leaves out, each by its
  // exact name (ReadAll only).
  std::vector<std::wstring> exclusions;
};

// The kept member the record names (its size and the path its list was made
// with, `listedPath`; at its position, else the only other one), with a run
// that writes it alone. None when it is gone or no run can write it alone.
// The caller holds a RequestScope.
std::optional<SelectedMember> SelectMember(const std::wstring& toolPath, const std::wstring& archivePath,
                                           const ArchiveEntryW& record, const std::string& listedPath,
                                           std::int64_t sizeLimit);

}  // namespace qibor

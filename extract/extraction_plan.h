#pragma once
// Which run of the tool writes exactly one member and nothing else. The
// tool's member argument also selects the entries below it and every other
// spelling of the same name ("d//b.jpg" for "d/b.jpg"), so the plan looks at
// every entry of the listing before the run. Pure, no Windows header.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qibor {

enum class ExtractionRun {
  // The member is the first entry the argument selects: the tool stops
  // once it is out ("-q"), so no later entry is ever written.
  StopAtFirst,
  // Entries before the member are selected too: the tool reads the whole
  // archive, entries below the member are excluded, and the earlier copies
  // of the same name, plain files within the size limit, are written over
  // by the member itself. Only for an argument without wildcards, whose
  // copies all name one file.
  ReadAll,
  // No run writes the member alone.
  Refuse,
};

// One entry the member's argument selects, as the plan sees it.
struct PlannedEntry {
  std::size_t line;
  std::wstring_view key;  // MatchKey of its path
  bool file;              // a plain file, not a folder or a link
  std::int64_t size;
};

// Fed every entry of the listing; then ChooseRun says how to extract the
// member at `memberLine`.
struct ExtractionPlan {
  std::size_t memberLine = 0;
  std::wstring patternKey;
  std::int64_t sizeLimit = 0;
  bool selectedBefore = false;     // an entry before the member is selected
  bool sameAfter = false;          // another copy of the name follows it
  bool unsafeBefore = false;       // a copy before it cannot be written over
  bool belowSelected = false;      // an entry below it is selected
};

ExtractionPlan StartPlan(std::size_t memberLine, std::wstring_view patternKey, std::int64_t sizeLimit);
void AddToPlan(ExtractionPlan& plan, const PlannedEntry& entry);
ExtractionRun ChooseRun(const ExtractionPlan& plan);

}  // namespace qibor

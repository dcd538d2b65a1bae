#include "extract/member_selection.h"

#include <algorithm>

#include "extract/extraction_plan.h"
#include "extract/member_path.h"
#include "extract/written_entries.h"
#include "floor/code_page_text.h"
#include "listing/member_size.h"
#include "tool/captured_lines.h"
#include "tool/commands.h"

namespace qibor {
namespace {

// An entry an argument may select, judged by its printed path.
struct Candidate {
  std::size_t entry;
  std::wstring key;
};

std::vector<Candidate> CandidatesOf(const ArchiveList& list, std::wstring_view patternKey) {
  std::vector<Candidate> candidates;
  for (std::size_t entry = 0; entry < EntryCount(list.entries); ++entry) {
    std::wstring key = MatchKey(DecodeText(PathOf(list.entries, entry), list.codePage));
    if (MatchOf(key, patternKey) != MatchKind::None) candidates.push_back({entry, std::move(key)});
  }
  return candidates;
}

// The verbose lines of what the member arguments really select, in order.
std::optional<std::vector<std::string>> ListSelected(const ArchiveRuns& runs,
                                                     const std::vector<std::wstring>& patterns) {
  const std::optional<RunOutput> output =
      RunForOutput(runs.folder, SelectionListingCommand(runs.tool, patterns), runs.archive, Capture::Selection, false);
  if (!output) return std::nullopt;
  std::vector<std::string> lines;
  std::string_view rest = output->text;
  CapturedLine line;
  while (TakeCapturedLine(rest, line)) lines.emplace_back(line.text);
  return lines;
}

// Whether a verbose line of the argument's own listing is the entry's: its
// path, kind and size.
bool LineIsEntry(std::string_view line, const ArchiveList& list, std::size_t entry) {
  const std::string_view path = PathOf(list.entries, entry);
  if (KindOf(line, path) != list.entries.kinds[entry] || ParseMemberSize(line, path) != list.entries.sizes[entry]) {
    return false;
  }
  for (std::size_t at = line.find(path); at != std::string_view::npos; at = line.find(path, at + 1)) {
    if (at > 0 && line[at - 1] == ' ') return true;
  }
  return false;
}

// Which candidates the selected lines are, when only one reading fits: the
// leftmost and the rightmost way of finding them in order agree.
std::optional<std::vector<bool>> MatchSelected(const ArchiveList& list, const std::vector<Candidate>& candidates,
                                               const std::vector<std::string>& selected) {
  const std::size_t n = candidates.size();
  std::vector<std::size_t> left, right;
  for (std::size_t i = 0, j = 0; j < selected.size(); ++i) {
    if (i == n) return std::nullopt;
    if (LineIsEntry(selected[j], list, candidates[i].entry)) {
      left.push_back(i);
      ++j;
    }
  }
  for (std::size_t i = n, j = selected.size(); j > 0; --i) {
    if (i == 0) return std::nullopt;
    if (LineIsEntry(selected[j - 1], list, candidates[i - 1].entry)) {
      right.push_back(i - 1);
      --j;
    }
  }
  std::reverse(right.begin(), right.end());
  if (left != right) return std::nullopt;
  std::vector<bool> chosen(n, false);
  for (const std::size_t i : left) chosen[i] = true;
  return chosen;
}

// The candidates the argument really selects: all of them when it can only
// be one, else as its own listing says; none when that cannot be read.
std::optional<std::vector<bool>> SelectedBy(const ArchiveRuns& runs, const ArchiveList& list,
                                            const std::vector<Candidate>& candidates, const std::wstring& pattern) {
  if (candidates.size() <= 1) return std::vector<bool>(candidates.size(), true);
  const std::optional<std::vector<std::string>> selected = ListSelected(runs, {pattern});
  if (!selected) return std::nullopt;
  return MatchSelected(list, candidates, *selected);
}

// The other entries the argument selects, each left out by its exact name,
// when the tool's own listing of those names shows that each is exactly what
// it printed: then the member is the only entry the run writes. A name that
// prints differently from what it is cannot be any of those exact names.
std::optional<std::vector<std::wstring>> ExclusionsFor(const ArchiveRuns& runs, const ArchiveList& list,
                                                       const std::vector<Candidate>& candidates,
                                                       const std::vector<bool>& real, std::size_t memberEntry,
                                                       std::wstring_view patternKey) {
  constexpr std::size_t kMostExclusions = 64;
  std::vector<std::wstring> names;
  std::vector<std::size_t> others;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& candidate = candidates[i];
    // What lies below a selected name is left out as a whole.
    if (!real[i] || candidate.entry == memberEntry || MatchOf(candidate.key, patternKey) != MatchKind::Same) continue;
    if (names.size() == kMostExclusions) return std::nullopt;
    names.push_back(EscapeMemberPattern(candidate.key));
    others.push_back(i);
  }
  if (names.empty()) return std::nullopt;
  const std::optional<std::vector<std::string>> selected = ListSelected(runs, names);
  if (!selected) return std::nullopt;
  const std::optional<std::vector<bool>> exact = MatchSelected(list, candidates, *selected);
  if (!exact) return std::nullopt;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (candidates[i].entry == memberEntry && (*exact)[i]) return std::nullopt;  // the member's own name is exact
  }
  std::vector<std::wstring> exclusions;
  for (std::size_t k = 0; k < others.size(); ++k) {
    if (!(*exact)[others[k]]) return std::nullopt;
    exclusions.push_back(L"^" + names[k] + L"$");
  }
  return exclusions;
}

void AddRunEntry(EntryRun& run, const ArchiveList& list, std::size_t entry) {
  run.names.push_back(ExtractedEntryName(PathOf(list.entries, entry)));
  run.sizes.push_back(static_cast<std::uint64_t>(list.entries.sizes[entry]));
}

// The run for arguments: the entries it writes are the member and, when it
// reads all with nothing but what lies below left out, the copies of its
// name before it that the argument selects.
EntryRun RunFor(const std::wstring& toolPath, const ExtractionArguments& arguments, const ArchiveList& list,
                const std::vector<Candidate>& candidates, const std::vector<bool>& real, std::size_t memberEntry,
                std::wstring_view patternKey) {
  EntryRun run;
  run.commandLine = ExtractionCommand(toolPath, arguments);
  const bool copiesToo = !arguments.stopAtFirst && arguments.exclusions.empty();
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const std::size_t entry = candidates[i].entry;
    const bool copy = copiesToo && real[i] && entry < memberEntry && MatchOf(candidates[i].key, patternKey) == MatchKind::Same;
    if (entry == memberEntry || copy) AddRunEntry(run, list, entry);
  }
  run.target = run.names.size() - 1;
  return run;
}

// The plan of what the argument really selects; none when it does not
// select the member.
std::optional<ExtractionPlan> PlanOf(const ArchiveList& list, const std::vector<Candidate>& candidates,
                                     const std::vector<bool>& real, std::size_t memberEntry,
                                     std::wstring_view patternKey, std::int64_t sizeLimit) {
  ExtractionPlan plan = StartPlan(memberEntry, patternKey, sizeLimit);
  bool memberSelected = false;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (!real[i]) continue;
    const std::size_t entry = candidates[i].entry;
    if (entry == memberEntry) memberSelected = true;
    AddToPlan(plan, PlannedEntry{entry, candidates[i].key, list.entries.kinds[entry] == EntryKind::File,
                                 list.entries.sizes[entry]});
  }
  if (!memberSelected) return std::nullopt;
  return plan;
}

}  // namespace

EntryRun AloneRun(const std::wstring& toolPath, const ArchiveList& list, std::size_t member) {
  const std::size_t entry = list.members[member];
  ExtractionArguments arguments;
  arguments.pattern = EscapeMemberPattern(DecodeText(PathOf(list.entries, entry), list.codePage));
  EntryRun run;
  run.commandLine = ExtractionCommand(toolPath, arguments);
  AddRunEntry(run, list, entry);
  return run;
}

std::optional<EntryRun> RunSelecting(const ArchiveRuns& runs, const ArchiveList& list, std::size_t member,
                                     std::int64_t sizeLimit) {
  const std::size_t memberEntry = list.members[member];
  const std::wstring printed = DecodeText(PathOf(list.entries, memberEntry), list.codePage);
  // First the printed path itself, "?" standing for the units the code page
  // cannot show; then, for look-alikes, every name of its shape.
  for (const Wildcards wildcards : {Wildcards::Unshown, Wildcards::EveryUnit}) {
    const std::optional<std::wstring> pattern = MemberPattern(printed, wildcards);
    if (!pattern) continue;
    const std::wstring patternKey = PatternKey(printed, wildcards);
    const std::vector<Candidate> candidates = CandidatesOf(list, patternKey);
    // Printed names may select more than the real names do; where another
    // entry is in question, the argument's own listing says which it takes.
    const std::optional<std::vector<bool>> real = SelectedBy(runs, list, candidates, *pattern);
    if (!real) continue;
    const std::optional<ExtractionPlan> plan = PlanOf(list, candidates, *real, memberEntry, patternKey, sizeLimit);
    if (!plan) continue;
    ExtractionArguments arguments;
    arguments.pattern = *pattern;
    const ExtractionRun kind = ChooseRun(*plan);
    if (kind != ExtractionRun::Refuse) {
      arguments.stopAtFirst = kind == ExtractionRun::StopAtFirst;
      arguments.excludeBelow = kind == ExtractionRun::ReadAll;
      return RunFor(runs.tool, arguments, list, candidates, *real, memberEntry, patternKey);
    }
    // A look-alike after the name it looks like: every pattern that selects
    // it selects that one first. Leave the others out by their exact names.
    if (!HasWildcard(patternKey)) continue;
    std::optional<std::vector<std::wstring>> exclusions =
        ExclusionsFor(runs, list, candidates, *real, memberEntry, patternKey);
    if (!exclusions) continue;
    arguments.stopAtFirst = false;
    arguments.excludeBelow = true;
    arguments.exclusions = std::move(*exclusions);
    return RunFor(runs.tool, arguments, list, candidates, *real, memberEntry, patternKey);
  }
  return std::nullopt;
}

std::optional<EntryRun> PassTo(const std::wstring& toolPath, const ArchiveList& list, std::size_t member) {
  EntryRun run;
  run.commandLine = PassCommand(toolPath);
  // Every entry's bytes must be known: they place the member's, and they
  // must add up to what the pass wrote.
  for (std::size_t entry = 0; entry < EntryCount(list.entries); ++entry) {
    const std::optional<std::uint64_t> bytes = BytesWrittenFor(list.entries.kinds[entry], list.entries.sizes[entry]);
    if (!bytes) return std::nullopt;
    run.names.push_back(ExtractedEntryName(PathOf(list.entries, entry)));
    run.sizes.push_back(*bytes);
  }
  run.target = list.members[member];
  return run;
}

std::optional<std::size_t> MemberStoredAs(const ArchiveRuns& runs, const ArchiveList& list, std::wstring_view path,
                                          const std::vector<std::size_t>& alike) {
  // The tool gets its arguments in the code page: a path that does not come
  // back from it unchanged would reach the tool as another name.
  const std::wstring wanted(path);
  if (DecodeText(EncodeText(wanted, list.codePage), list.codePage) != wanted) return std::nullopt;
  const std::wstring pattern = EscapeMemberPattern(wanted);
  const std::vector<Candidate> candidates = CandidatesOf(list, MatchKey(wanted));
  const std::optional<std::vector<bool>> real = SelectedBy(runs, list, candidates, pattern);
  if (!real) return std::nullopt;
  std::optional<std::size_t> found;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (!(*real)[i]) continue;
    for (const std::size_t member : alike) {
      if (list.members[member] != candidates[i].entry) continue;
      if (found) return std::nullopt;
      found = member;
    }
  }
  return found;
}

}  // namespace qibor

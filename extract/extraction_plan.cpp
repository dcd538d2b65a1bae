#include "extract/extraction_plan.h"

#include "extract/member_path.h"

namespace qibor {

ExtractionPlan StartPlan(std::size_t memberLine, std::wstring_view patternKey, std::int64_t sizeLimit) {
  ExtractionPlan plan;
  plan.memberLine = memberLine;
  plan.patternKey = patternKey;
  plan.sizeLimit = sizeLimit;
  return plan;
}

void AddToPlan(ExtractionPlan& plan, const PlannedEntry& entry) {
  if (entry.line == plan.memberLine) return;
  const MatchKind match = MatchOf(entry.key, plan.patternKey);
  if (match == MatchKind::None) return;
  if (match == MatchKind::Below) plan.belowSelected = true;
  if (entry.line > plan.memberLine) {
    if (match == MatchKind::Same) plan.sameAfter = true;
    return;
  }
  plan.selectedBefore = true;
  // An earlier copy is written before the member replaces it: only a plain
  // file within the limit may be, never a link or a folder.
  if (match == MatchKind::Same && !(entry.file && entry.size >= 0 && entry.size <= plan.sizeLimit)) {
    plan.unsafeBefore = true;
  }
}

ExtractionRun ChooseRun(const ExtractionPlan& plan) {
  if (!plan.selectedBefore) return ExtractionRun::StopAtFirst;
  if (plan.sameAfter || plan.unsafeBefore || HasWildcard(plan.patternKey)) return ExtractionRun::Refuse;
  return ExtractionRun::ReadAll;
}

}  // namespace qibor

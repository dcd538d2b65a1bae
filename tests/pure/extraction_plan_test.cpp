// Which run writes exactly one member: the tool's argument also selects
// other spellings of the name and every entry below it.
#include "extract/extraction_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/member_path.h"

namespace qibor {
namespace {

TEST(MatchKey, SpellingsTheToolTakesForOneName) {
  EXPECT_EQ(MatchKey(L"d/b.jpg"), L"d/b.jpg");
  EXPECT_EQ(MatchKey(L"d//b.jpg"), L"d/b.jpg");
  EXPECT_EQ(MatchKey(L"./d/./b.jpg"), L"d/b.jpg");
  EXPECT_EQ(MatchKey(L"d/b.jpg/"), L"d/b.jpg");
  EXPECT_EQ(MatchKey(L"d/../b.jpg"), L"d/../b.jpg");  // ".." is a step of its own
  EXPECT_EQ(MatchKey(L"D/b.jpg"), L"D/b.jpg");        // letter case counts

  EXPECT_EQ(MatchOf(L"d/b.jpg", L"d/b.jpg"), MatchKind::Same);
  EXPECT_EQ(MatchOf(L"cover.jpg/pad.bin", L"cover.jpg"), MatchKind::Below);
  EXPECT_EQ(MatchOf(L"cover.jpg2", L"cover.jpg"), MatchKind::None);
  EXPECT_EQ(MatchOf(L"x/cover.jpg", L"cover.jpg"), MatchKind::None);
  EXPECT_EQ(MatchOf(L"cover", L"cover.jpg"), MatchKind::None);
}

// The tool prints "?" for each unit its code page cannot show and may print
// a look-alike for others, and matches "?" against any one real unit.
TEST(MatchKey, PrintedNamesBecomeArgumentsWithWildcards) {
  const std::wstring any(1, kAnyUnit);
  EXPECT_EQ(PatternKey(L"???.png", Wildcards::Unshown), any + any + any + L".png");
  EXPECT_EQ(PatternKey(L"./a/?.png", Wildcards::Unshown), L"a/" + any + L".png");
  EXPECT_EQ(PatternKey(L"a.jpg", Wildcards::Unshown), L"a.jpg");
  EXPECT_EQ(PatternKey(L"ab/c", Wildcards::EveryUnit), any + any + L"/" + any);
  EXPECT_FALSE(HasWildcard(PatternKey(L"a.jpg", Wildcards::Unshown)));

  EXPECT_EQ(MemberPattern(L"???.png", Wildcards::Unshown), L"???.png");
  EXPECT_EQ(MemberPattern(L"[x]?*.png", Wildcards::Unshown), L"\\[x\\]?\\*.png");
  EXPECT_EQ(MemberPattern(L"^a?$", Wildcards::Unshown), L"\\^a?\\$");
  EXPECT_EQ(MemberPattern(L"a?$b", Wildcards::Unshown), L"a?$b");
  EXPECT_EQ(MemberPattern(L"a$?b", Wildcards::Unshown), L"a$?b");
  EXPECT_EQ(MemberPattern(L"?^a", Wildcards::Unshown), L"?^a");
  EXPECT_EQ(MemberPattern(L"a.jpg", Wildcards::EveryUnit), L"?????");
  EXPECT_EQ(MemberPattern(L"./d/a.jpg", Wildcards::EveryUnit), L"./?/?????");
  EXPECT_FALSE(MemberPattern(L"a\\\\b", Wildcards::EveryUnit).has_value());

  const std::wstring threeUnits = PatternKey(L"???.png", Wildcards::Unshown);
  EXPECT_EQ(MatchOf(L"???.png", threeUnits), MatchKind::Same);
  EXPECT_EQ(MatchOf(L"abc.png", threeUnits), MatchKind::Same);
  EXPECT_EQ(MatchOf(L"??.png", threeUnits), MatchKind::None);
  EXPECT_EQ(MatchOf(L"abc.png/x", threeUnits), MatchKind::Below);
  EXPECT_EQ(MatchOf(L"abc.jpg", threeUnits), MatchKind::None);
}

struct Entry {
  std::wstring path;
  bool file = true;
  std::int64_t size = 10;
};

ExtractionRun RunFor(const std::vector<Entry>& entries, std::size_t member, std::int64_t limit = 100) {
  ExtractionPlan plan = StartPlan(member, PatternKey(entries[member].path, Wildcards::Unshown), limit);
  std::vector<std::wstring> keys;
  for (const Entry& entry : entries) keys.push_back(MatchKey(entry.path));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (MatchOf(keys[i], plan.patternKey) == MatchKind::None) continue;
    AddToPlan(plan, PlannedEntry{i, keys[i], entries[i].file, entries[i].size});
  }
  return ChooseRun(plan);
}

TEST(ExtractionPlan, TheFirstSelectedEntryStopsTheRunOnceItIsOut) {
  EXPECT_EQ(RunFor({{L"a.png"}, {L"b.png"}}, 1), ExtractionRun::StopAtFirst);
  // Whatever follows is never read: a copy, a link of that name, an entry below.
  EXPECT_EQ(RunFor({{L"d/b.jpg"}, {L"d//b.jpg"}}, 0), ExtractionRun::StopAtFirst);
  EXPECT_EQ(RunFor({{L"cover.jpg"}, {L"cover.jpg/pad.bin", true, 300}}, 0), ExtractionRun::StopAtFirst);
  EXPECT_EQ(RunFor({{L"x.jpg"}, {L"x.jpg", false, 0}}, 0), ExtractionRun::StopAtFirst);
}

TEST(ExtractionPlan, EarlierEntriesBelowAreExcludedAndEarlierCopiesWrittenOver) {
  EXPECT_EQ(RunFor({{L"cover.jpg/pad.bin", true, 300}, {L"cover.jpg"}}, 1), ExtractionRun::ReadAll);
  EXPECT_EQ(RunFor({{L"dup.png"}, {L"keep.png"}, {L"dup.png"}}, 2), ExtractionRun::ReadAll);
  EXPECT_EQ(RunFor({{L"d/b.jpg"}, {L"d//b.jpg"}}, 1), ExtractionRun::ReadAll);
}

TEST(ExtractionPlan, NoRunWritesTheMemberAlone) {
  // A copy on either side: with "-q" the first, without it the last wins.
  EXPECT_EQ(RunFor({{L"dup.png"}, {L"dup.png"}, {L"dup.png"}}, 1), ExtractionRun::Refuse);
  EXPECT_EQ(RunFor({{L"x/y.png"}, {L"x//y.png"}, {L"./x/y.png"}}, 1), ExtractionRun::Refuse);
  // An earlier copy that is a link or a folder would be written first.
  EXPECT_EQ(RunFor({{L"x.jpg", false, 0}, {L"x.jpg"}}, 1), ExtractionRun::Refuse);
  EXPECT_EQ(RunFor({{L"x.jpg/", false, 0}, {L"x.jpg"}}, 1), ExtractionRun::Refuse);
  // An earlier copy over the size limit would be written whole.
  EXPECT_EQ(RunFor({{L"big.bin", true, 300}, {L"big.bin"}}, 1), ExtractionRun::Refuse);
  EXPECT_EQ(RunFor({{L"big.bin", true, 100}, {L"big.bin"}}, 1), ExtractionRun::ReadAll);
  // With wildcards, earlier entries selected are other names: no run.
  EXPECT_EQ(RunFor({{L"abc.png"}, {L"???.png"}}, 1), ExtractionRun::Refuse);
  EXPECT_EQ(RunFor({{L"???.png"}, {L"abc.png"}}, 0), ExtractionRun::StopAtFirst);
}

}  // namespace
}  // namespace qibor

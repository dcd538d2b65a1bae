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
  EXPECT_EQ(MatchKey("d/b.jpg"), "d/b.jpg");
  EXPECT_EQ(MatchKey("d//b.jpg"), "d/b.jpg");
  EXPECT_EQ(MatchKey("./d/./b.jpg"), "d/b.jpg");
  EXPECT_EQ(MatchKey("d/b.jpg/"), "d/b.jpg");
  EXPECT_EQ(MatchKey("d/../b.jpg"), "d/../b.jpg");  // ".." is a step of its own
  EXPECT_EQ(MatchKey("D/b.jpg"), "D/b.jpg");        // letter case counts

  EXPECT_EQ(MatchOf("d/b.jpg", "d/b.jpg"), MatchKind::Same);
  EXPECT_EQ(MatchOf("cover.jpg/pad.bin", "cover.jpg"), MatchKind::Below);
  EXPECT_EQ(MatchOf("cover.jpg2", "cover.jpg"), MatchKind::None);
  EXPECT_EQ(MatchOf("x/cover.jpg", "cover.jpg"), MatchKind::None);
  EXPECT_EQ(MatchOf("cover", "cover.jpg"), MatchKind::None);
}

struct Entry {
  std::string path;
  bool file = true;
  std::int64_t size = 10;
};

ExtractionRun RunFor(const std::vector<Entry>& entries, std::size_t member, std::int64_t limit = 100) {
  ExtractionPlan plan = StartPlan(member, entries[member].path, limit);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    AddToPlan(plan, PlannedEntry{i, entries[i].path, entries[i].file, entries[i].size});
  }
  return ChooseRun(plan);
}

TEST(ExtractionPlan, TheFirstSelectedEntryStopsTheRunOnceItIsOut) {
  EXPECT_EQ(RunFor({{"a.png"}, {"b.png"}}, 1), ExtractionRun::StopAtFirst);
  // Whatever follows is never read: a copy, a link of that name, an entry below.
  EXPECT_EQ(RunFor({{"d/b.jpg"}, {"d//b.jpg"}}, 0), ExtractionRun::StopAtFirst);
  EXPECT_EQ(RunFor({{"cover.jpg"}, {"cover.jpg/pad.bin", true, 300}}, 0), ExtractionRun::StopAtFirst);
  EXPECT_EQ(RunFor({{"x.jpg"}, {"x.jpg", false, 0}}, 0), ExtractionRun::StopAtFirst);
}

TEST(ExtractionPlan, EarlierEntriesBelowAreExcludedAndEarlierCopiesWrittenOver) {
  EXPECT_EQ(RunFor({{"cover.jpg/pad.bin", true, 300}, {"cover.jpg"}}, 1), ExtractionRun::ReadAll);
  EXPECT_EQ(RunFor({{"dup.png"}, {"keep.png"}, {"dup.png"}}, 2), ExtractionRun::ReadAll);
  EXPECT_EQ(RunFor({{"d/b.jpg"}, {"d//b.jpg"}}, 1), ExtractionRun::ReadAll);
}

TEST(ExtractionPlan, NoRunWritesTheMemberAlone) {
  // A copy on either side: with "-q" the first, without it the last wins.
  EXPECT_EQ(RunFor({{"dup.png"}, {"dup.png"}, {"dup.png"}}, 1), ExtractionRun::Refuse);
  EXPECT_EQ(RunFor({{"x/y.png"}, {"x//y.png"}, {"./x/y.png"}}, 1), ExtractionRun::Refuse);
  // An earlier copy that is a link or a folder would be written first.
  EXPECT_EQ(RunFor({{"x.jpg", false, 0}, {"x.jpg"}}, 1), ExtractionRun::Refuse);
  EXPECT_EQ(RunFor({{"x.jpg/", false, 0}, {"x.jpg"}}, 1), ExtractionRun::Refuse);
  // An earlier copy over the size limit would be written whole.
  EXPECT_EQ(RunFor({{"big.bin", true, 300}, {"big.bin"}}, 1), ExtractionRun::Refuse);
  EXPECT_EQ(RunFor({{"big.bin", true, 100}, {"big.bin"}}, 1), ExtractionRun::ReadAll);
}

}  // namespace
}  // namespace qibor

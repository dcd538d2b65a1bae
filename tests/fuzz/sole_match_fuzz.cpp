// Counts arbitrary listing lines with the tally and checks its answer
// against the plain way: every key spelled out, counted in a map, and every
// folder above every key collected. A member the tally calls alone must be
// alone; short of a crowded table the answers are the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "listing/kept_members.h"
#include "tool/captured_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte says which lines are kept members (bit i for line i % 8).
  const unsigned keptBits = data[0];
  const std::vector<char> copy(data + 1, data + size);
  const std::vector<qibor::CapturedLine> lines =
      qibor::SplitCapturedLines(std::string_view(copy.data(), copy.size()));

  qibor::SoleMatchTally tally;
  std::map<std::string, std::size_t> uses;
  std::set<std::string> folders;
  std::vector<std::string> keptKeys;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const bool kept = ((keptBits >> (i % 8)) & 1u) != 0;
    qibor::TallyEntry(tally, lines[i].text, kept);
    const std::string key = qibor::MatchKeyOf(lines[i].text);
    ++uses[key];
    for (std::size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
      folders.insert(key.substr(0, slash));
    }
    if (kept) keptKeys.push_back(key);
  }

  const std::vector<bool> sole = qibor::SoleMatches(tally);
  if (sole.size() != keptKeys.size()) std::abort();
  for (std::size_t i = 0; i < keptKeys.size(); ++i) {
    const std::string& key = keptKeys[i];
    const bool alone = !key.empty() && uses[key] == 1 && folders.count(key) == 0;
    if (sole[i] && !alone) std::abort();
    if (!tally.crowded && sole[i] != alone) std::abort();
  }
  return 0;
}

#include "listing/kept_members.h"

#include <algorithm>

#include "listing/member_size.h"

namespace qibor {

std::vector<KeptMember> FindKeptMembers(const std::vector<std::wstring>& plainLines,
                                        const std::vector<std::wstring>& verboseLines,
                                        std::int64_t sizeLimit) {
  std::vector<KeptMember> kept;
  const std::size_t paired = std::min(plainLines.size(), verboseLines.size());
  for (std::size_t i = 0; i < paired; ++i) {
    const std::int64_t size = ParseMemberSize(verboseLines[i], plainLines[i]);
    if (IsKeptMember(size, sizeLimit)) kept.push_back({i, size});
  }
  return kept;
}

std::wstring_view MemberName(std::wstring_view memberPath) {
  const std::size_t slash = memberPath.rfind(L'/');
  return slash == std::wstring_view::npos ? memberPath : memberPath.substr(slash + 1);
}

void CopyToRecordText(RecordChar (&field)[kRecordTextUnits], std::wstring_view text) {
  std::size_t count = std::min(text.size(), kRecordTextUnits - 1);
  // Do not leave a high surrogate without its low half.
  if (count < text.size() && count > 0) {
    const auto last = static_cast<std::uint32_t>(text[count - 1]);
    if (last >= 0xD800 && last <= 0xDBFF) --count;
  }
  std::fill(std::begin(field), std::end(field), RecordChar{0});
  for (std::size_t i = 0; i < count; ++i) field[i] = static_cast<RecordChar>(text[i]);
}

std::int64_t UnixSecondsFromFileTime(std::uint64_t fileTime) {
  constexpr std::int64_t kIntervalsTo1970 = 116444736000000000LL;
  return (static_cast<std::int64_t>(fileTime) - kIntervalsTo1970) / 10000000LL;
}

void FillMemberRecord(ArchiveEntryW& record, std::uint64_t position, std::int64_t size,
                      std::int64_t timestamp, std::wstring_view memberPath) {
  record = ArchiveEntryW{};
  record.method[0] = u'T';
  record.method[1] = u'A';
  record.method[2] = u'R';
  record.position = position;
  record.compressedSize = static_cast<std::uint64_t>(size);
  record.size = static_cast<std::uint64_t>(size);
  record.timestamp = timestamp;
  CopyToRecordText(record.name, MemberName(memberPath));
}

}  // namespace qibor

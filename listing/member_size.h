#pragma once
// Takes a member's size out of one line of the tool's verbose listing. Pure
// text work, no Windows header.
#include <cstdint>
#include <string_view>

namespace qibor {

// The verbose line of a file ends with the member path (the plain line),
// after the size and the date in any form the tool prints: "Dec 09 04:48",
// "Jan 01  2024", a month in the user's language, "-- -- ----", or nothing
// at all for a date it cannot convert. The path is taken off the end of the
// line; a link's line has its target after the path, and the path is then
// the first place with a date and a size before it. A line that does not
// hold the plain line is read from its end, its last field taken for the
// path. Lines of any other shape give whatever number is met there, often 0,
// which drops the member.
//
// The lines are the tool's bytes, undecoded: the fields read here are ASCII,
// and no lead or trail byte of a multi-byte ANSI code page is a space, a
// colon or a digit, so cutting the bytes cuts the text at the same places.
std::int64_t ParseMemberSize(std::string_view verboseLine, std::string_view plainLine);

// maxMB in bytes, in 64 bits; 0 or less keeps nothing.
std::int64_t SizeLimitFromMaxMB(int maxMB);

// A member is listed (and counted for its position) when its size is above
// zero and within the limit.
inline bool IsKeptMember(std::int64_t size, std::int64_t limit) { return size > 0 && size <= limit; }

}  // namespace qibor

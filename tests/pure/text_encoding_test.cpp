#include "probe/text_encoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qibor {
namespace {

TextEncodingClass Classify(const std::vector<unsigned char>& bytes) {
  return ClassifyTextEncoding(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

struct Case {
  const char* note;  // bytes, then UTF-8 / Shift_JIS scores where they decide
  std::vector<unsigned char> bytes;
  TextEncodingClass expected;
};

TEST(TextEncodingClassifier, Table) {
  const Case cases[] = {
      {"empty", {}, TextAscii},
      {"41 42 43", {0x41, 0x42, 0x43}, TextAscii},
      {"FF FE 41 00", {0xFF, 0xFE, 0x41, 0x00}, TextUtf16Le},
      {"FE FF 00 41", {0xFE, 0xFF, 0x00, 0x41}, TextUtf16Be},
      {"EF BB BF 00", {0xEF, 0xBB, 0xBF, 0x00}, TextUtf8Bom},
      {"41 00 42", {0x41, 0x00, 0x42}, TextZeroByte},
      {"2D 00 72 00", {0x2D, 0x00, 0x72, 0x00}, TextZeroByte},
      {"FF 0/0", {0xFF}, TextUtf8},
      {"A0 A0 0/0", {0xA0, 0xA0}, TextUtf8},
      {"41 7F 2/2", {0x41, 0x7F}, TextUtf8},
      {"63 61 66 C3 A9 5/5", {0x63, 0x61, 0x66, 0xC3, 0xA9}, TextUtf8},
      {"63 61 66 E9 3/3", {0x63, 0x61, 0x66, 0xE9}, TextUtf8},
      {"E3 81 82 3/2", {0xE3, 0x81, 0x82}, TextUtf8},
      {"E3 81 82 41 4/4", {0xE3, 0x81, 0x82, 0x41}, TextUtf8},
      {"F0 9F 98 80 4/4", {0xF0, 0x9F, 0x98, 0x80}, TextUtf8},
      {"80 41 1/-1", {0x80, 0x41}, TextUtf8},
      {"82 A0 0/2", {0x82, 0xA0}, TextShiftJis},
      {"EF BB 0/2", {0xEF, 0xBB}, TextShiftJis},
      {"93 FA 96 7B -1/4", {0x93, 0xFA, 0x96, 0x7B}, TextShiftJis},
      {"B1 B2 B3 -1/3", {0xB1, 0xB2, 0xB3}, TextShiftJis},
      {"41 F0 9F 98 -1/3", {0x41, 0xF0, 0x9F, 0x98}, TextShiftJis},
      {"C3 41 42 -1/3", {0xC3, 0x41, 0x42}, TextShiftJis},
      {"C3 41 42 43 3/4", {0xC3, 0x41, 0x42, 0x43}, TextShiftJis},
      // -1 must beat a positive score, and two failed scans tie.
      {"D0 A0 x3 C3 41 42 -1/6",
       {0xD0, 0xA0, 0xD0, 0xA0, 0xD0, 0xA0, 0xC3, 0x41, 0x42},
       TextShiftJis},
      {"B1 B2 B3 80 41 -1/-1", {0xB1, 0xB2, 0xB3, 0x80, 0x41}, TextUtf8},
      // A0 is skipped by both scans, never taken as a lead byte.
      {"A0 B1 B2 B3 -1/3", {0xA0, 0xB1, 0xB2, 0xB3}, TextShiftJis},
      {"41 A0 41 42 3/3", {0x41, 0xA0, 0x41, 0x42}, TextUtf8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    EXPECT_EQ(Classify(c.bytes), c.expected);
  }
}

TEST(TextEncodingClassifier, SignaturesNeedNothingAfterThem) {
  EXPECT_EQ(Classify({0xFF, 0xFE}), TextUtf16Le);
  EXPECT_EQ(Classify({0xFE, 0xFF}), TextUtf16Be);
  EXPECT_EQ(Classify({0xEF, 0xBB, 0xBF}), TextUtf8Bom);
}

TEST(TextEncodingClassifier, ZeroByteAnywhereWins) {
  std::vector<unsigned char> bytes(300, 'a');
  bytes.back() = 0x00;
  EXPECT_EQ(Classify(bytes), TextZeroByte);
  // A high byte before the zero must not stop the search for it.
  EXPECT_EQ(Classify({0xE3, 0x81, 0x82, 0x00}), TextZeroByte);
}

TEST(TextEncodingClassifier, ReadsOnlyUpToLength) {
  const unsigned char zeroAfter[] = {'A', 'B', 0x00};
  EXPECT_EQ(ClassifyTextEncoding(zeroAfter, 2), TextAscii);
  // Scores 1/2 as given; reading A9 too would make it a 3/3 tie for UTF-8.
  const unsigned char cutSequence[] = {0x41, 0xC3, 0xA9};
  EXPECT_EQ(ClassifyTextEncoding(cutSequence, 2), TextShiftJis);
  // The byte after the run would complete a UTF-16 signature.
  const unsigned char cutSignature[] = {0xFF, 0xFE};
  EXPECT_EQ(ClassifyTextEncoding(cutSignature, 1), TextUtf8);
  // The byte after the run would complete the UTF-8 signature.
  const unsigned char cutBom[] = {0xEF, 0xBB, 0xBF};
  EXPECT_EQ(ClassifyTextEncoding(cutBom, 2), TextShiftJis);
  EXPECT_EQ(ClassifyTextEncoding(nullptr, 0), TextAscii);
}

std::vector<unsigned char> Bytes(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

TEST(TextEncodingClassifier, RealWorldNames) {
  EXPECT_EQ(Classify(Bytes("photo_01.png")), TextAscii);
  EXPECT_EQ(Classify(Bytes("caf\xC3\xA9.png")), TextUtf8);
  // Code page 1252 "café.png": E9 then '.' fails as Shift_JIS (-1), UTF-8
  // scores 7, so it is reported as UTF-8.
  EXPECT_EQ(Classify({0x63, 0x61, 0x66, 0xE9, 0x2E, 0x70, 0x6E, 0x67}), TextUtf8);
  // "日本.png": Shift_JIS scores 8 against UTF-8's 5.
  EXPECT_EQ(Classify({0x93, 0xFA, 0x96, 0x7B, 0x2E, 0x70, 0x6E, 0x67}), TextShiftJis);
  // The same name in UTF-8 also reads as Shift_JIS; the 10/10 tie goes to UTF-8.
  EXPECT_EQ(Classify(Bytes("\xE6\x97\xA5\xE6\x9C\xAC.png")), TextUtf8);
}

}  // namespace
}  // namespace qibor

#include "floor/byte_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace qibor {
namespace {

// Texts of every length around the sixteen-byte steps, from a small
// alphabet (so needles match often and in many places) that holds bytes
// above 0x7F, as code-page 932 and UTF-8 names do.
std::vector<std::string> SampleTexts();

// The text in a buffer of exactly its size, so a read past its end shows
// under AddressSanitizer (a std::string keeps a terminator after its bytes).
struct ExactBuffer {
  explicit ExactBuffer(std::string_view text) : bytes(text.begin(), text.end()) {}
  std::string_view view() const { return {bytes.data(), bytes.size()}; }
  std::vector<char> bytes;
};

std::vector<std::string> SampleTexts() {
  std::mt19937 random(20261210);
  const std::string alphabet = "a/ \n\x5c\x83\xff";
  std::vector<std::string> texts;
  for (std::size_t length = 0; length <= 70; ++length) {
    for (int copy = 0; copy < 6; ++copy) {
      std::string text(length, '\0');
      for (char& c : text) c = alphabet[random() % alphabet.size()];
      texts.push_back(text);
    }
  }
  return texts;
}

TEST(ByteSearch, FindsEveryByteAsStringViewDoes) {
  for (const std::string& owned : SampleTexts()) {
    const ExactBuffer buffer(owned);
    const std::string_view text = buffer.view();
    for (const char byte : std::string_view("a/\n\x83\xff?", 6)) {
      for (std::size_t from = 0; from <= text.size() + 2; ++from) {
        ASSERT_EQ(FindByte(text, byte, from), text.find(byte, from))
            << "length " << text.size() << " from " << from << " byte " << int(static_cast<unsigned char>(byte));
      }
      ASSERT_EQ(FindLastByte(text, byte), text.rfind(byte)) << "length " << text.size();
    }
  }
}

TEST(ByteSearch, FindsEveryTextAsStringViewDoes) {
  const std::vector<std::string> texts = SampleTexts();
  std::vector<std::string> needles = {"", "a", "/a", "a/", " \n", "aa", "a a", "\x83\xff", "/ \x5c",
                                      "aaaa", "a/ a/", std::string(17, 'a'), std::string(40, '/')};
  for (const std::string& text : texts) {
    if (text.size() >= 3 && text.size() % 5 == 0) needles.push_back(text.substr(1, text.size() - 2));
  }
  for (const std::string& owned : texts) {
    const ExactBuffer buffer(owned);
    const std::string_view text = buffer.view();
    for (const std::string& needle : needles) {
      for (std::size_t from = 0; from <= text.size() + 1; from += 3) {
        ASSERT_EQ(FindText(text, needle, from), text.find(needle, from))
            << "text \"" << owned << "\" needle \"" << needle << "\" from " << from;
      }
    }
  }
}

TEST(ByteSearch, ComparesBytesWholeAndAtTheEnd) {
  for (const std::string& owned : SampleTexts()) {
    const ExactBuffer buffer(owned), same(owned);
    const std::string_view a = buffer.view();
    EXPECT_TRUE(SameBytes(a, same.view()));
    EXPECT_TRUE(EndsWithBytes(a, same.view().substr(a.size() / 2)));
    for (std::size_t i = 0; i < a.size(); ++i) {
      std::string changed = owned;
      changed[i] = static_cast<char>(changed[i] ^ 0x01);
      const ExactBuffer other(changed);
      ASSERT_FALSE(SameBytes(a, other.view())) << "a difference at byte " << i << " of " << a.size();
      ASSERT_FALSE(EndsWithBytes(a, other.view().substr(i))) << "at byte " << i;
    }
    EXPECT_FALSE(SameBytes(a, owned + "a"));
    EXPECT_FALSE(EndsWithBytes(a, "x" + owned));
  }
}

TEST(ByteSearch, TellsAsciiTextsByEveryByte) {
  // Each byte value at each place of texts around the sixteen-byte steps,
  // the rest plain letters.
  for (std::size_t length : {1u, 15u, 16u, 17u, 33u}) {
    for (std::size_t at = 0; at < length; ++at) {
      for (int value = 0; value < 256; ++value) {
        std::string owned(length, 'a');
        owned[at] = static_cast<char>(value);
        const ExactBuffer buffer(owned);
        ASSERT_EQ(AllBytesAscii(buffer.view()), value < 0x80) << "byte " << value << " at " << at;
      }
    }
  }
  EXPECT_TRUE(AllBytesAscii(""));
}

TEST(ByteSearch, FindsTheFirstZeroUnitOfAField) {
  for (std::size_t count : {0u, 1u, 7u, 8u, 9u, 16u, 199u, 200u}) {
    for (std::size_t zeroAt = 0; zeroAt <= count; ++zeroAt) {
      std::vector<char16_t> units(count, u'\x5c00');
      if (zeroAt < count) units[zeroAt] = 0;
      // A second zero further on does not count.
      if (zeroAt + 3 < count) units[zeroAt + 3] = 0;
      ASSERT_EQ(FindZeroUnit(units.data(), count), zeroAt) << "count " << count;
    }
  }
}

}  // namespace
}  // namespace qibor

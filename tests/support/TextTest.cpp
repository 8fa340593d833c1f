#include <gtest/gtest.h>

#include "support/Text.h"

#include <string>
#include <vector>

namespace {

using mstd::Malformed;

struct Utf8Case {
  const char* what;
  std::string utf8;
  std::u16string bridge;   // under Malformed::Bridge
  std::u16string replace;  // under Malformed::Replace
};

std::u16string fffd(std::size_t n) {
  return std::u16string(n, u'\uFFFD');
}

TEST(TextTest, Utf8ToUtf16UnderEachRule) {
  const std::vector<Utf8Case> cases = {
      {"one to three bytes", "A\xC3\xA9\xD0\x96\xE2\x82\xAC", u"A\u00e9\u0416\u20ac", u"A\u00e9\u0416\u20ac"},
      {"four bytes", "\xF0\x9F\x98\x80!", u"\U0001F600!", u"\U0001F600!"},
      {"highest", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", u"\U0010FFFF"},
      {"stray continuation", "a\x80z", std::u16string{u'a', 0, u'z'}, u"a\uFFFDz"},
      {"overlong four bytes", "\xF0\x80\x80\x80", std::u16string(4, u'\0'), fffd(1)},
      {"past U+10FFFF", "\xF4\x90\x80\x80", std::u16string(4, u'\0'), fffd(1)},
      {"no such lead", "\xF8z", std::u16string{0, u'z'}, u"\uFFFDz"},
      {"four bytes cut short", "\xF0\x9F\x98", std::u16string(3, u'\0'), fffd(3)},
      {"three bytes cut short", "ab\xE2\x82", u"ab", u"ab\uFFFD\uFFFD"},
      {"bad continuation", "ab\xC3(cd", u"ab", u"ab\uFFFD(cd"},
      {"bad third byte", "ab\xE2\x82(cd", u"ab", u"ab\uFFFD(cd"},
      {"overlong two bytes", "\xC0\xAF", std::u16string{0x2F}, fffd(2)},
      {"overlong three bytes", "\xE0\x80\xAF", std::u16string{0x2F}, fffd(1)},
      {"encoded surrogate", "\xED\xA0\xBD", std::u16string{0xD83D}, fffd(1)},
  };
  for (const Utf8Case& c : cases) {
    EXPECT_EQ(mstd::utf8ToUtf16(c.utf8, Malformed::Bridge), c.bridge) << c.what;
    EXPECT_EQ(mstd::utf8ToUtf16(c.utf8, Malformed::Replace), c.replace) << c.what;
  }
}

struct Utf16Case {
  const char* what;
  std::u16string utf16;
  std::string bridge;
  std::string replace;
};

TEST(TextTest, Utf16ToUtf8UnderEachRule) {
  const std::vector<Utf16Case> cases = {
      {"one to three bytes", u"\u007f\u0080\u07ff\u0800\uffff",
       "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {"a pair is one character", u"\U0001F600!", "\xF0\x9F\x98\x80!", "\xF0\x9F\x98\x80!"},
      {"lone high half", std::u16string{0xD83D, u'x'}, "\xED\xA0\xBDx", "\xEF\xBF\xBDx"},
      {"low before high", std::u16string{0xDE00, 0xD83D}, "\xED\xB8\x80\xED\xA0\xBD",
       "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"high half at the end", std::u16string{0xD83D}, "\xED\xA0\xBD", "\xEF\xBF\xBD"},
      {"NUL", std::u16string{u'a', 0, u'b'}, std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Utf16Case& c : cases) {
    EXPECT_EQ(mstd::utf16ToUtf8(c.utf16, Malformed::Bridge), c.bridge) << c.what;
    EXPECT_EQ(mstd::utf16ToUtf8(c.utf16, Malformed::Replace), c.replace) << c.what;
    // The bridge rule gives lone halves back as they were.
    EXPECT_EQ(mstd::utf8ToUtf16(c.bridge, Malformed::Bridge), c.utf16) << c.what;
  }
}

bool keptColon(unsigned char c) {
  return mstd::unreservedByte(c) || c == ':';
}

TEST(TextTest, EscapesForUrlsXmlAndScripts) {
  const struct {
    std::string got, want;
  } cases[] = {
      {mstd::percentEncode("a-Z_9.~", mstd::unreservedByte), "a-Z_9.~"},
      {mstd::percentEncode(std::string("a b&%\0\xFF", 7), mstd::unreservedByte), "a%20b%26%25%00%FF"},
      {mstd::percentEncode("host:9000/x", keptColon), "host:9000%2Fx"},
      {mstd::hexBytes(reinterpret_cast<const unsigned char*>("\x00\x0F\xA5\xFF"), 4), "000fa5ff"},
      {mstd::utf16ToUtf8(mstd::xmlEscape(u"1 <1 ms> & \"'\u0434"), Malformed::Bridge),
       "1 &lt;1 ms&gt; &amp; &quot;&apos;\xD0\xB4"},
      {mstd::jsStringLiteral(u"plain text"), "\"plain text\""},
      {mstd::jsStringLiteral(u"\"\\</script>"), "\"\\u0022\\u005c\\u003c/script>\""},
      {mstd::jsStringLiteral(u"\n\u2028\u0451"), "\"\\u000a\\u2028\\u0451\""},
      {mstd::jsStringLiteral(std::u16string{0xD83C, u'x', 0xDFAE, 0}), "\"\\ud83cx\\udfae\\u0000\""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(TextTest, HexValuesOfEitherCase) {
  const std::pair<char, int> cases[] = {{'0', 0},  {'9', 9},  {'a', 10}, {'F', 15},
                                        {'g', -1}, {'/', -1}, {'\0', -1}};
  for (const auto& [c, value] : cases) EXPECT_EQ(mstd::hexValue(c), value) << c;
}

}  // namespace

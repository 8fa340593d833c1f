#include <gtest/gtest.h>

#include "player/Text.h"

namespace player {
namespace {

TEST(TextTest, ScriptLiteralsCarryEveryUnitAndCannotEndTheScriptOrString) {
  EXPECT_EQ(jsStringLiteral(u"plain text"), "\"plain text\"");
  EXPECT_EQ(jsStringLiteral(u"\"\\</script>"), "\"\\u0022\\u005c\\u003c/script>\"");
  EXPECT_EQ(jsStringLiteral(u"\n\u2028ё"), "\"\\u000a\\u2028\\u0451\"");
  const std::u16string lone = {0xD83C, u'x', 0xDFAE};
  EXPECT_EQ(jsStringLiteral(lone), "\"\\ud83cx\\udfae\"");
  EXPECT_EQ(jsStringLiteral(std::u16string(1, u'\0')), "\"\\u0000\"");
}

TEST(TextTest, Utf8DecodesToUtf16WithReplacementForMalformedBytes) {
  EXPECT_EQ(utf8ToUtf16("ascii ё €"), u"ascii ё €");
  EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x8E\xAE"), (std::u16string{0xD83C, 0xDFAE}));
  EXPECT_EQ(utf8ToUtf16("a\x80z"), u"a\uFFFDz");          // stray continuation
  EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");    // overlong lead
  EXPECT_EQ(utf8ToUtf16("\xE0\x80\xAF"), u"\uFFFD");      // overlong three bytes
  EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");      // encoded surrogate
  EXPECT_EQ(utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");    // cut short at the end
  EXPECT_EQ(utf8ToUtf16("\xE2(x"), u"\uFFFD(x");          // bad continuation keeps the next byte
  EXPECT_EQ(utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD");  // above U+10FFFF
}

TEST(TextTest, Utf16EncodesToUtf8PairingSurrogates) {
  EXPECT_EQ(utf16ToUtf8(u"ё € x"), "ё € x");
  EXPECT_EQ(utf16ToUtf8(std::u16string{0xD83C, 0xDFAE}), "\xF0\x9F\x8E\xAE");
  EXPECT_EQ(utf16ToUtf8(std::u16string{0xDFAE, 0xD83C}), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(utf16ToUtf8(std::u16string(1, u'\0')), std::string(1, '\0'));
}

}  // namespace
}  // namespace player

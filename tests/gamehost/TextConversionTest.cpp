#include <gtest/gtest.h>

#include "gamehost/TextConversion.h"

using gamehost::utf16ToUtf8;
using gamehost::utf8ToUtf16;

TEST(TextConversion, Utf16ToUtf8UnitByUnitWithPairsAsOneCharacter) {
  EXPECT_EQ(utf16ToUtf8(u"A\u00e9\u0416\u20ac"), "A\xC3\xA9\xD0\x96\xE2\x82\xAC");
  EXPECT_EQ(utf16ToUtf8(u"\u007f\u0080\u07ff\u0800\uffff"), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
  // U+1F600 as a pair: one four-byte sequence, not two three-byte ones.
  EXPECT_EQ(utf16ToUtf8(u"\U0001F600!"), "\xF0\x9F\x98\x80!");
  EXPECT_EQ(utf16ToUtf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
  // Lone halves keep three bytes each; a low half before a high one is no pair.
  EXPECT_EQ(utf16ToUtf8(std::u16string{0xD83D, u'x'}), "\xED\xA0\xBDx");
  EXPECT_EQ(utf16ToUtf8(std::u16string{0xDE00}), "\xED\xB8\x80");
  EXPECT_EQ(utf16ToUtf8(std::u16string{0xDE00, 0xD83D}), "\xED\xB8\x80\xED\xA0\xBD");
  EXPECT_EQ(utf16ToUtf8(std::u16string{0xD83D}), "\xED\xA0\xBD");  // cut at the end
  EXPECT_EQ(utf16ToUtf8(std::u16string{u'a', 0, u'b'}), std::string("a\0b", 3));
}

TEST(TextConversion, Utf8ToUtf16DecodesPairsAndTurnsBadBytesIntoZeroOrTheEnd) {
  EXPECT_EQ(utf8ToUtf16("A\xC3\xA9\xD0\x96\xE2\x82\xAC"), u"A\u00e9\u0416\u20ac");
  EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80!"), u"\U0001F600!");
  EXPECT_EQ(utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  // Not a valid four-byte sequence: the lead and each stray continuation become U+0000.
  EXPECT_EQ(utf8ToUtf16("\xF0\x80\x80\x80"), std::u16string(4, u'\0'));  // overlong
  EXPECT_EQ(utf8ToUtf16("\xF4\x90\x80\x80"), std::u16string(4, u'\0'));  // past U+10FFFF
  EXPECT_EQ(utf8ToUtf16("\xF8z"), (std::u16string{0, u'z'}));            // no such lead
  EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98"), std::u16string(3, u'\0'));      // cut short
  EXPECT_EQ(utf8ToUtf16("a\x80"
                        "b"),
            (std::u16string{u'a', 0, u'b'}));  // stray continuation
  // A two- or three-byte sequence cut short or with a bad continuation ends the text.
  EXPECT_EQ(utf8ToUtf16("ab\xE2\x82"), u"ab");
  EXPECT_EQ(utf8ToUtf16("ab\xC3(cd"), u"ab");
  EXPECT_EQ(utf8ToUtf16("ab\xE2\x82(cd"), u"ab");
  // Lone halves written by the other direction come back as they were.
  const std::u16string lone{0xD83D, u'-', 0xDE00};
  EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(lone)), lone);
}

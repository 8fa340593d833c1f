#include <gtest/gtest.h>

#include <string>

#include "support/MarkupBounds.h"

namespace {

std::string nested(int depth, const std::string& inner = "x") {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  text += inner;
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

}  // namespace

TEST(MarkupBounds, DepthAndSizeAreCountedBeforeAnyParsing) {
  struct Case {
    std::string text;
    bool within;
  };
  const std::string request =
      "<invoke name=\"client\" returntype=\"xml\"><arguments><string>320</string>"
      "</arguments></invoke>";
  for (const Case& c : {
           Case{request, true},
           Case{nested(64), true},
           Case{nested(65), false},
           Case{nested(300000), false},
           Case{"<a>" + std::string(200, 'b') + "<c/><c/><c/></a>", true},  // empty elements close at once
           Case{nested(63, "<e/>"), true},
           Case{nested(64, "<e/>"), false},
           Case{nested(64, "<e attr=\"/>\">") + "</e>", false},  // "/>" inside quotes opens
           Case{nested(64, "<!-- c --><?pi?>"), true},
           Case{"", true},
       })
    EXPECT_EQ(mstd::markupWithinBounds(std::string_view(c.text)), c.within) << c.text.substr(0, 80);
  const std::string big(mstd::maxCallBytes, 'x');
  EXPECT_TRUE(mstd::markupWithinBounds(std::string_view(big)));
  EXPECT_FALSE(mstd::markupWithinBounds(std::string_view(big + "x")));
  const std::u16string wide = u"<a><b>\u0451</b></a>";
  EXPECT_TRUE(mstd::markupWithinBounds(std::u16string_view(wide), 64, 2));
  EXPECT_FALSE(mstd::markupWithinBounds(std::u16string_view(wide), 64, 1));
}

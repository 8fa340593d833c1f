#include <gtest/gtest.h>

#include "platform/process/CommandLine.h"

using platform::joinCommandLine;
using platform::splitCommandLine;
using Items = std::vector<std::string>;

TEST(CommandLineSplit, FirstItemEndsAtBlankOrClosingQuoteWithoutEscapes) {
  EXPECT_EQ(splitCommandLine(R"(a\"b c)", "/p"), (Items{R"(a\"b)", "c"}));
  EXPECT_EQ(splitCommandLine(R"("@/x y/Vornask" nodl)", "/p"), (Items{"@/x y/Vornask", "nodl"}));
  EXPECT_EQ(splitCommandLine(R"("a\" b)", "/p"), (Items{R"(a\)", "b"}));
}

TEST(CommandLineSplit, LaterItemsFollowQuoteAndBackslashRules) {
  EXPECT_EQ(splitCommandLine(R"(x "a b" c\d "e\"f" g\\"h i")", "/p"),
            (Items{"x", "a b", R"(c\d)", R"(e"f)", R"(g\h i)"}));
  EXPECT_EQ(splitCommandLine(R"(x "a""b" "")", "/p"), (Items{"x", R"(a"b)", ""}));
  EXPECT_EQ(splitCommandLine("x \t y  ", "/p"), (Items{"x", "y"}));
}

TEST(CommandLineSplit, EmptyLineGivesTheProgramPath) {
  EXPECT_EQ(splitCommandLine("", "/opt/Vornask"), (Items{"/opt/Vornask"}));
}

TEST(CommandLineSplit, JoinGivesTheItemsBack) {
  const std::vector<Items> cases = {
      {"nodl"},
      {"@/a b/Vornask", "u=x y", R"(p=q"r)", R"(back\slash\)", "", R"(tail\\)"},
      {"", "x"},
      {R"(a"b)", "c d"},
  };
  for (const Items& items : cases) EXPECT_EQ(splitCommandLine(joinCommandLine(items), "/p"), items);
}

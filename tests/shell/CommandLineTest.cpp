#include <gtest/gtest.h>

#include "shell/CommandLine.h"

using shell::prepareCommandLine;
using Items = std::vector<std::string>;

namespace {
const std::string module = "/opt/Games/Vornask/Vornask";
}

TEST(CommandLine, QuotedModulePathAndOneSpaceAreSkipped) {
  const auto o = prepareCommandLine("\"" + module + "\" nodl", module);
  EXPECT_EQ(o.items, Items{"nodl"});
  EXPECT_EQ(o.argumentText, "nodl");
  EXPECT_TRUE(o.noDownload);
  EXPECT_EQ(o.executableFolder, "/opt/Games/Vornask");
  EXPECT_EQ(o.executableFileName, "Vornask");
  // Compared without regard to case; every blank after it goes too.
  const auto upper = prepareCommandLine("\"/OPT/games/VORNASK/vornask\"    debug", module);
  EXPECT_EQ(upper.items, Items{"debug"});
}

TEST(CommandLine, UnquotedOrOtherPathBecomesTheFirstItem) {
  const auto o = prepareCommandLine(module + " nodl", module);
  EXPECT_EQ(o.items, (Items{module, "nodl"}));
  EXPECT_EQ(o.argumentText, module + " nodl");
  EXPECT_TRUE(o.noDownload);
  const auto other = prepareCommandLine("\"/other/Vornask\" x", module);
  EXPECT_EQ(other.items, (Items{"/other/Vornask", "x"}));
}

TEST(CommandLine, NothingAfterThePathGivesThePathAsOnlyItem) {
  const auto o = prepareCommandLine("\"" + module + "\"", module);
  EXPECT_EQ(o.items, Items{module});
  EXPECT_EQ(o.argumentText, module);
  EXPECT_FALSE(o.noDownload || o.debug || o.noClientUpdate || o.skipInstallCheck || o.replacement);
}

TEST(CommandLine, WholeItemOptionsIgnoreCaseButPrefixesDoNot) {
  const auto o =
      prepareCommandLine("\"" + module + "\" DeBuG NODL nOcU nostupidpath U=upper P=upper", module);
  EXPECT_TRUE(o.debug && o.noDownload && o.noClientUpdate && o.skipInstallCheck);
  EXPECT_EQ(o.user, "");
  EXPECT_EQ(o.password, "");
  EXPECT_EQ(o.argumentText, "DeBuG NODL nOcU nostupidpath U=upper P=upper");
  const auto partial = prepareCommandLine("\"" + module + "\" nodlx debug=1", module);
  EXPECT_FALSE(partial.noDownload || partial.debug);
}

TEST(CommandLine, LastUserAndPasswordWin) {
  const auto o = prepareCommandLine("\"" + module + "\" u=first p=secret u=second \"p=with space\"", module);
  EXPECT_EQ(o.user, "second");
  EXPECT_EQ(o.password, "with space");
  EXPECT_EQ(o.argumentText, "u=first p=secret u=second p=with space");
}

TEST(CommandLine, AtFirstItemMeansReplacementAndNothingElse) {
  const auto o = prepareCommandLine("\"@/opt/Games/Vornask/Vornask\" nodl", "/opt/Games/Vornask/new.Vornask");
  EXPECT_TRUE(o.replacement);
  EXPECT_EQ(o.replacementTarget, "/opt/Games/Vornask/Vornask");
  EXPECT_EQ(o.replacementArguments, "nodl");
  EXPECT_FALSE(o.noDownload);
  // Quotes are dropped, so the new process splits "a b" again.
  const auto spaced = prepareCommandLine("\"@/x/Vornask\" \"a b\" u=me", "/x/new.Vornask");
  EXPECT_EQ(spaced.replacementArguments, "a b u=me");
  EXPECT_EQ(spaced.user, "");
  // Only the first item counts.
  EXPECT_FALSE(prepareCommandLine("\"" + module + "\" nodl @/x", module).replacement);
}

#include <gtest/gtest.h>

#include "tests/player/MovieFixture.h"

namespace vtest {
namespace {

class ExternalInterfaceTest : public MovieFixture {};

TEST_F(ExternalInterfaceTest, MovieCallsArriveAsRequestsWithEveryArgumentType) {
  play();
  const int types = control->waitForCall("types", 1000);
  ASSERT_GE(types, 0);
  for (auto& c : control->calls()) std::cerr << c << "\n";
}

}  // namespace
}  // namespace vtest

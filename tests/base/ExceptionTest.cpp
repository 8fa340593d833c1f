#include "base/Exception.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct HttpTag {};
struct DiskTag {};
typedef mstd::own_exception<HttpTag, mstd::exception> HttpError;
typedef mstd::own_exception<DiskTag, mstd::exception> DiskError;

struct PlainBoostError : boost::exception {};

TEST(Exception, MessageOfPrefersAttachedMessageThenWhatThenNothing) {
  EXPECT_EQ("no route", mstd::message_of(mstd::exception() << mstd::error_message("no route")));
  EXPECT_EQ(std::string(std::exception().what()), mstd::message_of(mstd::exception()));
  EXPECT_EQ("", mstd::message_of(PlainBoostError()));
  EXPECT_EQ("x", mstd::message_of(PlainBoostError() << mstd::error_message("x")));
}

TEST(Exception, AttachingAgainReplacesTheMessageAndCopiesShareIt) {
  mstd::exception first;
  first << mstd::error_message("one");
  mstd::exception copy = first;
  first << mstd::error_message("two");
  EXPECT_EQ("two", mstd::message_of(first));
  EXPECT_EQ("two", mstd::message_of(copy));
}

TEST(Exception, OwnExceptionsAreCaughtAsBaseButNotAsEachOther) {
  std::string caught;
  try {
    try {
      throw HttpError() << mstd::error_message("timeout");
    } catch (const DiskError&) {
      caught = "disk";
    }
  } catch (const mstd::exception& e) {
    caught = "base:" + mstd::message_of(e);
  }
  EXPECT_EQ("base:timeout", caught);

  try {
    throw HttpError() << mstd::error_message("refused");
  } catch (const HttpError& e) {
    caught = "http:" + mstd::message_of(e);
  }
  EXPECT_EQ("http:refused", caught);
}

TEST(Exception, StreamOutputIsMessageThenDiagnosticsInParentheses) {
  std::ostringstream out;
  try {
    throw HttpError() << mstd::error_message("bad status 404");
  } catch (const boost::exception& e) {
    out << e;
  }
  const std::string text = out.str();
  EXPECT_EQ(0u, text.find("bad status 404 ("));
  EXPECT_EQ(')', text.back());
  EXPECT_NE(std::string::npos, text.find("HttpTag")) << text;
  EXPECT_NE(std::string::npos, text.find("tag_message")) << text;

  std::ostringstream plain;
  plain << PlainBoostError();
  EXPECT_EQ(0u, plain.str().find(" ("));
}

}  // namespace

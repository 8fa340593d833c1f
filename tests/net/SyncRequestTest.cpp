#include "base/Exception.h"
#include "net/HTTPContext.h"
#include "net/SyncRequest.h"
#include "tests/common/NginxServer.h"
#include "tests/net/RawServer.h"

#include <gtest/gtest.h>

namespace {

mnet::HTTPContext& context() {
  return mnet::HTTPContext::instance();
}

TEST(Probe, HeadAnswerWithAndWithoutLength) {
  vtest::NginxServer nginx;
  nginx.writeRandomFile("file.bin", 1000);
  std::string url = nginx.url("/file.bin");
  std::int64_t length = 7;
  EXPECT_EQ(0, context().probe(url, length));
  EXPECT_EQ(1000, length);
  EXPECT_EQ(nginx.url("/file.bin"), url);
  EXPECT_NE(std::string::npos, nginx.accessLog(1).at(0).find("HEAD /file.bin 200"));

  vtest::RawServer server([](const std::string&) { return std::string("HTTP/1.1 200 OK\r\n\r\n"); });
  url = server.url("/stream");
  EXPECT_EQ(0, context().probe(url, length));
  EXPECT_EQ(-1, length);
}

TEST(Probe, ErrorStatusLeavesUrlAndLength) {
  vtest::NginxServer nginx;
  std::string url = nginx.url("/missing");
  std::int64_t length = 42;
  EXPECT_EQ(404, context().probe(url, length));
  EXPECT_EQ(nginx.url("/missing"), url);
  EXPECT_EQ(42, length);
}

TEST(Probe, FollowsRedirectToAnotherHost) {
  vtest::NginxOptions secondOptions;
  secondOptions.address = "127.0.0.2";
  vtest::NginxServer second(secondOptions);
  second.writeRandomFile("target.bin", 5000);
  vtest::NginxOptions firstOptions;
  firstOptions.serverConfig = "location = /moved { return 302 " + second.url("/target.bin") + "; }\n" +
                              "location = /hop { return 301 /moved; }";
  vtest::NginxServer first(firstOptions);
  std::string url = first.url("/hop");
  std::int64_t length = 0;
  EXPECT_EQ(0, context().probe(url, length));
  EXPECT_EQ(second.url("/target.bin"), url);
  EXPECT_EQ(5000, length);
}

TEST(Probe, RedirectCycleFailsInsteadOfRecursing) {
  vtest::NginxOptions options;
  options.serverConfig =
      "location = /a { return 302 /b; }\n"
      "location = /b { return 302 /a; }\n"
      "location = /self { return 301 /self; }";
  vtest::NginxServer nginx(options);
  for (const char* path : {"/a", "/self"}) {
    std::string url = nginx.url(path);
    std::int64_t length = 0;
    try {
      context().probe(url, length);
      ADD_FAILURE() << "no failure for " << path;
    } catch (const mnet::HTTPError& e) {
      EXPECT_EQ("curl perform error: 47", mstd::message_of(e));
    }
    EXPECT_LE(nginx.accessLog().size(), 12u);
  }
}

TEST(Probe, FollowsTenRedirectsButNotEleven) {
  // "/aN" and "/bN" redirect to the next number until 10 ("a") or 11 ("b").
  vtest::RawServer server([](const std::string& request) {
    const char series = request[6];
    const int n = std::stoi(request.substr(7));
    if (n < (series == 'a' ? 10 : 11))
      return std::string("HTTP/1.1 302 Found\r\nLocation: /") + series + std::to_string(n + 1) +
             "\r\nContent-Length: 0\r\n\r\n";
    return std::string("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
  });
  std::string url = server.url("/a0");
  std::int64_t length = 0;
  EXPECT_EQ(0, context().probe(url, length));
  EXPECT_EQ(server.url("/a10"), url);
  EXPECT_EQ(5, length);
  url = server.url("/b0");
  try {
    context().probe(url, length);
    ADD_FAILURE() << "eleven redirects followed";
  } catch (const mnet::HTTPError& e) {
    EXPECT_EQ("curl perform error: 47", mstd::message_of(e));
  }
  EXPECT_EQ(11u + 11u, server.requests().size());
}

TEST(Perform, BodyTypeAndCurlFailure) {
  vtest::NginxServer nginx;
  nginx.writeFile("page.html", "<html>hello</html>");
  std::string body;
  mnet::SyncRequest request;
  request.url = nginx.url("/page.html");
  request.body = &body;
  context().perform(request);
  EXPECT_EQ(200, request.status);
  EXPECT_EQ(18, request.length);
  EXPECT_EQ("text/html", request.contentType);
  EXPECT_EQ("<html>hello</html>", body);

  mnet::SyncRequest failing;
  failing.url = "http://no-such-host.invalid/";
  try {
    context().perform(failing);
    ADD_FAILURE() << "no failure";
  } catch (const mnet::HTTPError& e) {
    EXPECT_EQ("curl perform error: 6", mstd::message_of(e));
  }
}

TEST(Perform, BodyLogShowsFirst1024BytesAsTextOrHex) {
  const std::string printable(2000, 'a');
  EXPECT_EQ(std::string(1024, 'a'), mnet::bodyLogText(printable));
  EXPECT_EQ("line\r\n", mnet::bodyLogText("line\r\n"));
  std::string binary = "A";
  binary += '\0';
  binary += "\xff";
  EXPECT_EQ("41 00 ff", mnet::bodyLogText(binary));
  std::string lateNul(2000, 'b');
  lateNul[1500] = '\0';
  EXPECT_EQ(std::string(1024, 'b'), mnet::bodyLogText(lateNul));
  EXPECT_EQ(1024u * 3 - 1, mnet::bodyLogText(std::string(1100, '\x01')).size());
}

}  // namespace

// HTTPS against nginx with a CA and a server certificate made for the test.
#include "net/Download.h"
#include "net/HTTPContext.h"
#include "tests/common/Certificates.h"
#include "tests/common/NginxServer.h"
#include "tests/common/Sandbox.h"
#include "tests/net/NetTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class Tls : public vtest::Sandbox {
 protected:
  void TearDown() override {
    mnet::HTTPContext::instance().setCaFile(std::string());
    Sandbox::TearDown();
  }
};

TEST_F(Tls, CertificatesAreVerifiedWithTheHostName) {
  const vtest::Certificates ours = vtest::makeCertificates(path("pki"), "DNS:localhost,IP:127.0.0.1");
  const vtest::Certificates other = vtest::makeCertificates(path("other"), "DNS:localhost,IP:127.0.0.1");
  const vtest::Certificates elsewhere = vtest::makeCertificates(path("elsewhere"), "DNS:vornask.example");
  struct Row {
    const char* name;
    const vtest::Certificates& served;
    std::string caFile;
    int code;
  };
  const Row rows[] = {
      {"a CA of the system's store only: refused", ours, "", 600 + CURLE_PEER_FAILED_VERIFICATION},
      {"the private CA from the CA file: accepted", ours, ours.caFile, 0},
      {"another CA's certificate: refused", other, ours.caFile, 600 + CURLE_PEER_FAILED_VERIFICATION},
      {"a certificate for another name: refused", elsewhere, elsewhere.caFile,
       600 + CURLE_PEER_FAILED_VERIFICATION},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    vtest::NginxOptions options;
    options.certificate = row.served.certificate;
    options.certificateKey = row.served.key;
    vtest::NginxServer nginx(options);
    nginx.writeFile("f.txt", "secret\n");
    mnet::HTTPContext::instance().setCaFile(row.caFile);
    const vtest::Fetched fetched = vtest::fetch(nginx.url("/f.txt"));
    EXPECT_EQ(row.code, fetched.code);
    EXPECT_EQ(row.code == 0 ? "secret\n" : "", fetched.body);
    // The segmented download fails the same way, with nothing fetched, and is not retried.
    const vtest::Outcome end = vtest::download(nginx.url("/f.txt"), path("f.tmp").string(), 7);
    EXPECT_EQ(row.code == 0 ? 200 : row.code, end.status);
    if (row.code == 0)
      EXPECT_EQ("secret\n", readFile("f.tmp"));
    else
      EXPECT_TRUE(nginx.accessLog().empty());
  }
}

TEST_F(Tls, SegmentsResumeTheVerifiedSession) {
  const vtest::Certificates ours = vtest::makeCertificates(path("pki"), "IP:127.0.0.1");
  vtest::NginxOptions options;
  options.certificate = ours.certificate;
  options.certificateKey = ours.key;
  vtest::NginxServer nginx(options);
  const std::string content = vtest::randomBytes(3 << 20, 7);
  nginx.writeFile("big.bin", content);
  mnet::HTTPContext::instance().setCaFile(ours.caFile);
  const vtest::Outcome end = vtest::download(nginx.url("/big.bin"), path("big.tmp").string(), 3 << 20);
  ASSERT_EQ(200, end.status);
  EXPECT_EQ(content, readFile("big.tmp"));
  // The probe's handshake is a full one; the ranges' connections resume its session or one that
  // replaced it (on a loaded machine some connect before a replacement arrives: not every one).
  const std::vector<std::string> lines = nginx.accessLog(6);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ('.', lines[0].back()) << lines[0];
  EXPECT_GE(
      std::count_if(lines.begin() + 1, lines.end(), [](const std::string& l) { return l.back() == 'r'; }), 1);
}

}  // namespace

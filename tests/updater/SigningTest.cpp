#include "updater/Manifest.h"
#include "updater/Publish.h"
#include "updater/Signature.h"
#include "updater/SignedList.h"
#include "updater/Trust.h"

#include <gtest/gtest.h>

#include "tests/updater/SignedFolder.h"

using namespace updater;

namespace {

class SigningTest : public vtest::Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    writeFile("game/a.txt", "first file\n");
    writeFile("game/data/b.bin", vtest::randomBytes(5000, 3));
    key_.publish(game(), 100);
    list_ = readFile("game/library/crc.txt");
    sig_ = readFile("game/library/crc.txt.sig");
  }
  std::string game() const { return path("game").string(); }

  vtest::TestKey key_;
  std::string list_, sig_;
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

}  // namespace

TEST_F(SigningTest, ListIsAcceptedOnlyAsSignedByItsKeyAndNotOlder) {
  std::string changedList = list_;
  changedList[changedList.size() / 2] ^= 1;
  const vtest::TestKey other;
  // The same body under another serial, with the old signature.
  const std::string reserialised = replaced(sig_, "serial 100\n", "serial 900\n");
  struct Case {
    const char* what;
    std::string list, sig, key;
    uint64_t lowest;
    std::string error;  // start of the reason; "" when accepted
  } cases[] = {
      {"as published", list_, sig_, key_.key.publicKey(), 0, ""},
      {"the accepted serial again", list_, sig_, key_.key.publicKey(), 100, ""},
      {"a replayed older serial", list_, sig_, key_.key.publicKey(), 101, "serial 100 is older"},
      {"a list changed by one byte", changedList, sig_, key_.key.publicKey(), 0, "crc.txt does not match"},
      {"another key", list_, sig_, other.key.publicKey(), 0, "not signed by this key"},
      {"a missing signature", list_, "", key_.key.publicKey(), 0, "malformed"},
      {"a changed serial", list_, reserialised, key_.key.publicKey(), 0, "not signed by this key"},
  };
  for (const Case& c : cases) {
    Manifest manifest;
    const std::string error = checkSignedList(c.list, c.sig, c.key, c.lowest, manifest);
    EXPECT_EQ(0u, error.find(c.error)) << c.what << ": " << error;
    if (c.error.empty()) {
      EXPECT_EQ(100u, manifest.serial) << c.what;
    }
  }
}

TEST_F(SigningTest, ManifestIsParsedStrictly) {
  Manifest manifest;
  std::string body, signature, error;
  ASSERT_TRUE(parseManifest(sig_, manifest, body, signature, error)) << error;
  EXPECT_EQ(100u, manifest.serial);
  EXPECT_EQ(sha256(list_), manifest.listDigest);
  ASSERT_EQ(2u, manifest.files.size());
  EXPECT_EQ(sha256(readFile("game/data/b.bin")), manifest.files["data/b.bin"]);
  EXPECT_EQ(sig_, manifestText(body, signature));
  EXPECT_EQ(body, manifestBody(manifest));

  const std::string fileLine =
      sig_.substr(sig_.find("file "), sig_.find('\n', sig_.find("file ")) + 1 - sig_.find("file "));
  const std::string sigLine = sig_.substr(sig_.find("signature "));
  const std::pair<const char*, std::string> bad[] = {
      {"header", replaced(sig_, "vornask-signed-list 1", "vornask-signed-list 2")},
      {"leading zero", replaced(sig_, "serial 100", "serial 0100")},
      {"negative serial", replaced(sig_, "serial 100", "serial -100")},
      {"serial past 64 bits", replaced(sig_, "serial 100", "serial 18446744073709551616")},
      {"upper-case hex", replaced(sig_, "list " + toHex(sha256(list_)).substr(0, 4), "list ABCD")},
      {"CR LF", replaced(sig_, "\n", "\r\n")},
      {"no final LF", sig_.substr(0, sig_.size() - 1)},
      {"line after the signature", sig_ + "file " + std::string(64, '0') + " late\n"},
      {"name twice", replaced(sig_, fileLine, fileLine + fileLine)},
      {"unknown line", replaced(sig_, fileLine, "size 12\n")},
      {"space in the signature", replaced(sig_, "signature ", "signature  ")},
      {"short signature", replaced(sig_, "==\n", "\n")},
      {"no signature", sig_.substr(0, sig_.size() - sigLine.size())},
      {"empty", ""},
      {"empty name", replaced(sig_, fileLine, "file " + std::string(64, '0') + " \n")},
  };
  for (const auto& [what, text] : bad) {
    ASSERT_NE(sig_, text) << what;
    EXPECT_FALSE(parseManifest(text, manifest, body, signature, error)) << what;
  }
}

TEST(PublicKeyTest, OnlyTheCanonicalBase64OfThirtyTwoBytesIsAKey) {
  const vtest::TestKey key;
  const std::string text = key.publicBase64();
  ASSERT_EQ(44u, text.size());
  // The last digit carries two unused bits, which must be zero.
  static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string strayBits = text;
  strayBits[42] = digits[digits.find(text[42]) + 1];
  const struct {
    std::string text;
    bool key;
  } cases[] = {
      {text, true},
      {"", false},
      {text.substr(0, 43), false},
      {strayBits, false},
      {" " + text.substr(1), false},
      {text.substr(0, 20) + "\n" + text.substr(21), false},
      {base64Encode(std::string(31, 'k')), false},
      {base64Encode(std::string(33, 'k')), false},
  };
  for (const auto& c : cases) {
    std::string raw;
    EXPECT_EQ(c.key, decodePublicKey(c.text, raw)) << c.text;
    if (c.key) {
      EXPECT_EQ(key.key.publicKey(), raw);
    }
  }
  // The key survives its PEM form.
  EXPECT_EQ(key.key.publicKey(), SigningKey::fromPem(key.key.pem()).publicKey());
  EXPECT_THROW(SigningKey::fromPem("not a key"), std::runtime_error);
}

TEST_F(SigningTest, ResignRenewsSerialAndExpiryWithoutReadingTheFilesAndVerifyFailsAnExpiredList) {
  writeFile("game/a.txt", "changed after publishing\n");
  // A serial not above the old one becomes the next one.
  EXPECT_EQ(101u, resignFolder(game(), key_.key, 50, utcNow() + 3600));
  uint64_t serial = 0;
  const std::vector<std::string> renewed = verifyFolder(game(), key_.key.publicKey(), serial);
  ASSERT_EQ(1u, renewed.size());
  EXPECT_EQ(0u, renewed[0].find("a.txt: "));  // signed as first published
  EXPECT_EQ(101u, serial);

  resignFolder(game(), key_.key, 200, utcNow() - 1);
  const std::vector<std::string> expired = verifyFolder(game(), key_.key.publicKey(), serial);
  ASSERT_EQ(1u, expired.size());
  EXPECT_EQ(0u, expired[0].find("library/crc.txt.sig: the file list expired at ")) << expired[0];
}

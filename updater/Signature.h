#pragma once

#include <openssl/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace updater {

// Ed25519 public keys are 32 raw bytes, signatures 64.
constexpr size_t publicKeySize = 32;
constexpr size_t signatureSize = 64;
constexpr size_t sha256Size = 32;

// Standard base64 with padding.
std::string base64Encode(const std::string& bytes);
// False unless `text` is the exact padded encoding of some bytes (no spaces,
// no line ends, nothing after the padding).
bool base64Decode(const std::string& text, std::string& bytes);

std::string toHex(const std::string& bytes);

// Raw 32-byte SHA-256 digest.
std::string sha256(const std::string& data);
// Digest of a whole file; false when it cannot be read.
bool fileSha256(const std::string& path, std::string& digest);
// Size, CRC-32 and SHA-256 of a whole file in one read; false when it cannot be read.
bool fileSums(const std::string& path, uint64_t& size, uint32_t& crc, std::string& digest);

// True when `signature` is an Ed25519 signature of `message` by `publicKey`
// (raw bytes); false for keys and signatures of the wrong size.
bool verifySignature(const std::string& publicKey, const std::string& message, const std::string& signature);

// An Ed25519 private key, held by OpenSSL.
class SigningKey {
 public:
  SigningKey();
  ~SigningKey();
  SigningKey(SigningKey&& other) noexcept;
  SigningKey& operator=(SigningKey&& other) noexcept;
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  // A fresh random key. Throws std::runtime_error.
  static SigningKey generate();
  // From PEM text (PKCS#8). Throws std::runtime_error.
  static SigningKey fromPem(const std::string& pem);

  std::string pem() const;
  std::string publicKey() const;  // 32 raw bytes
  std::string sign(const std::string& message) const;

 private:
  EVP_PKEY* key_ = nullptr;
};

}  // namespace updater

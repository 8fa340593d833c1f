#include "updater/Signature.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <libdeflate.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

namespace updater {

namespace {

struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

const unsigned char* bytesOf(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

[[noreturn]] void fail(const char* what) {
  throw std::runtime_error(what);
}

}  // namespace

std::string base64Encode(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytesOf(bytes),
                                     static_cast<int>(bytes.size()));
  text.resize(static_cast<size_t>(length));
  return text;
}

bool base64Decode(const std::string& text, std::string& bytes) {
  if (text.empty() || text.size() % 4 != 0) return false;
  std::string out(text.size() / 4 * 3, '\0');
  const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytesOf(text),
                                     static_cast<int>(text.size()));
  if (length < 0) return false;
  size_t padding = 0;
  while (padding < 2 && text[text.size() - 1 - padding] == '=') ++padding;
  out.resize(static_cast<size_t>(length) - padding);
  // EVP_DecodeBlock skips blanks and ignores stray bits: only the canonical form passes.
  if (base64Encode(out) != text) return false;
  bytes = std::move(out);
  return true;
}

std::string toHex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

std::string sha256(const std::string& data) {
  std::string digest(sha256Size, '\0');
  unsigned int length = 0;
  if (!EVP_Digest(data.data(), data.size(), reinterpret_cast<unsigned char*>(digest.data()), &length,
                  EVP_sha256(), nullptr))
    fail("SHA-256 failed");
  return digest;
}

bool fileSums(const std::string& path, uint64_t& size, uint32_t& crc, std::string& digest) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  MdCtx ctx(EVP_MD_CTX_new());
  if (!ctx || !EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr)) return false;
  // Large enough to keep the read calls few, small enough for the stack of a test thread.
  std::vector<char> block(1 << 20);
  uint64_t total = 0;
  uint32_t sum = 0;
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const size_t got = static_cast<size_t>(in.gcount());
    if (got == 0) continue;
    if (!EVP_DigestUpdate(ctx.get(), block.data(), got)) return false;
    sum = libdeflate_crc32(sum, block.data(), got);
    total += got;
  }
  if (in.bad()) return false;
  std::string out(sha256Size, '\0');
  unsigned int length = 0;
  if (!EVP_DigestFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length)) return false;
  size = total;
  crc = sum;
  digest = std::move(out);
  return true;
}

bool fileSha256(const std::string& path, std::string& digest) {
  uint64_t size = 0;
  uint32_t crc = 0;
  return fileSums(path, size, crc, digest);
}

bool verifySignature(const std::string& publicKey, const std::string& message, const std::string& signature) {
  if (publicKey.size() != publicKeySize || signature.size() != signatureSize) return false;
  EVP_PKEY* key =
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytesOf(publicKey), publicKey.size());
  if (!key) return false;
  MdCtx ctx(EVP_MD_CTX_new());
  const bool ok = ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key) == 1 &&
                  EVP_DigestVerify(ctx.get(), bytesOf(signature), signature.size(), bytesOf(message),
                                   message.size()) == 1;
  EVP_PKEY_free(key);
  return ok;
}

SigningKey::SigningKey() = default;

SigningKey::~SigningKey() {
  EVP_PKEY_free(key_);
}

SigningKey::SigningKey(SigningKey&& other) noexcept : key_(other.key_) {
  other.key_ = nullptr;
}

SigningKey& SigningKey::operator=(SigningKey&& other) noexcept {
  std::swap(key_, other.key_);
  return *this;
}

SigningKey SigningKey::generate() {
  SigningKey result;
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
  const bool ok = ctx && EVP_PKEY_keygen_init(ctx) == 1 && EVP_PKEY_keygen(ctx, &result.key_) == 1;
  EVP_PKEY_CTX_free(ctx);
  if (!ok) fail("cannot make an Ed25519 key");
  return result;
}

SigningKey SigningKey::fromPem(const std::string& pem) {
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) fail("out of memory");
  SigningKey result;
  result.key_ = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr);
  if (!result.key_) fail("not a PEM private key");
  if (EVP_PKEY_id(result.key_) != EVP_PKEY_ED25519) fail("not an Ed25519 key");
  return result;
}

std::string SigningKey::pem() const {
  Bio bio(BIO_new(BIO_s_mem()));
  if (!bio || !PEM_write_bio_PrivateKey(bio.get(), key_, nullptr, nullptr, 0, nullptr, nullptr))
    fail("cannot write the key");
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(length));
}

std::string SigningKey::publicKey() const {
  std::string raw(publicKeySize, '\0');
  size_t length = raw.size();
  if (!key_ ||
      EVP_PKEY_get_raw_public_key(key_, reinterpret_cast<unsigned char*>(raw.data()), &length) != 1 ||
      length != publicKeySize)
    fail("cannot read the public key");
  return raw;
}

std::string SigningKey::sign(const std::string& message) const {
  MdCtx ctx(EVP_MD_CTX_new());
  std::string signature(signatureSize, '\0');
  size_t length = signature.size();
  if (!key_ || !ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key_) != 1 ||
      EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length, bytesOf(message),
                     message.size()) != 1 ||
      length != signatureSize)
    fail("signing failed");
  return signature;
}

}  // namespace updater

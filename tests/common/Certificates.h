#pragma once

#include <filesystem>
#include <string>

namespace vtest {

// A private CA and a server certificate it signed, made with the openssl tool.
struct Certificates {
  std::string caFile;       // the CA's certificate (PEM)
  std::string certificate;  // the server's certificate (PEM)
  std::string key;          // the server's key (PEM)
};

// Makes them in `folder` for the server names `altNames` (openssl's subjectAltName text,
// "DNS:localhost,IP:127.0.0.1"); throws std::runtime_error when openssl fails.
Certificates makeCertificates(const std::filesystem::path& folder, const std::string& altNames);

}  // namespace vtest

#include "tests/common/Certificates.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace vtest {

namespace {

void run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("failed: " + command);
}

}  // namespace

Certificates makeCertificates(const std::filesystem::path& folder, const std::string& altNames) {
  std::filesystem::create_directories(folder);
  const std::string d = "'" + folder.string() + "'";
  Certificates out{(folder / "ca.pem").string(), (folder / "server.pem").string(),
                   (folder / "server.key").string()};
  {
    std::ofstream ext(folder / "server.ext");
    ext << "subjectAltName=" << altNames << "\nbasicConstraints=CA:FALSE\n";
  }
  run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=TestCA "
      "-keyout " +
      d + "/ca.key -out " + d + "/ca.pem");
  run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=server -keyout " + d +
      "/server.key -out " + d + "/server.csr");
  run("openssl x509 -req -in " + d + "/server.csr -CA " + d + "/ca.pem -CAkey " + d +
      "/ca.key -CAcreateserial -days 2 -extfile " + d + "/server.ext -out " + d + "/server.pem");
  return out;
}

}  // namespace vtest

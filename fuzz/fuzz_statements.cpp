// Endorsements and root statements from arbitrary bytes: what parses is canonical text with
// fields of their sizes, and a list judged with them under a key they were not made for is
// never accepted.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "updater/Statements.h"
#include "updater/Trust.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  updater::Endorsement endorsement;
  std::string body, signature, error;
  if (updater::parseEndorsement(text, endorsement, body, signature, error)) {
    if (endorsement.key.size() != 32 || signature.size() != 64 || text.compare(0, body.size(), body) != 0)
      __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();
  }
  std::vector<updater::RootStatement> statements;
  if (updater::parseRootStatements(text, statements, error)) {
    if (statements.empty() || statements.size() > updater::maxRootStatements) __builtin_trap();
    for (const updater::RootStatement& statement : statements)
      if (statement.oldRoot.size() != 32 || statement.newRoot.size() != 32 ||
          text.find(statement.body) == std::string::npos)
        __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();
  }

  updater::TrustInput input;
  input.list = "a:0:1:0\n";
  input.manifest = "vornask-signed-list 2\nserial 1\nexpires 9\nlist " + std::string(64, '0') +
                   "\nsignature " + std::string(86, 'A') + "==\n";
  input.roots = text;
  input.endorsementFetched = true;
  input.endorsement = text;
  updater::TrustState state;
  state.root = std::string(32, '\x01');
  if (updater::judgeList(input, state, 0).verdict == updater::Verdict::Accepted) __builtin_trap();
  return 0;
}

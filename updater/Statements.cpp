#include "updater/Statements.h"

#include "updater/Signature.h"
#include "updater/SignedText.h"

#include <initializer_list>

namespace updater {

const char* const endorsementName = "library/endorsement.txt";
const char* const rootStatementsName = "library/roots.txt";

namespace {

const char* const endorsementHeader = "vornask-endorsement 1";
const char* const rotationHeader = "vornask-root-rotation 1";

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t begin = 0; begin < text.size();) {
    const size_t end = text.find('\n', begin);
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

// Reads `header` and then one "key value" line per key from lines[at...]; the values in order.
bool takeLines(const std::vector<std::string>& lines, size_t& at, const char* header,
               std::initializer_list<const char*> keys, std::vector<std::string>& values,
               std::string& error) {
  if (at >= lines.size() || lines[at] != header) {
    error = "line " + std::to_string(at + 1) + ": not \"" + header + "\"";
    return false;
  }
  ++at;
  values.clear();
  for (const char* key : keys) {
    std::string rest;
    if (at >= lines.size() || !field(lines[at], key, rest)) {
      error = "line " + std::to_string(at + 1) + ": no " + key;
      return false;
    }
    values.push_back(rest);
    ++at;
  }
  return true;
}

bool rawOf(const std::string& base64, size_t size, std::string& raw) {
  return base64Decode(base64, raw) && raw.size() == size;
}

}  // namespace

std::string endorsementText(const Endorsement& endorsement, const SigningKey& root) {
  const std::string body = std::string(endorsementHeader) + "\nserial " + std::to_string(endorsement.serial) +
                           "\nexpires " + std::to_string(endorsement.expires) + "\nkey " +
                           base64Encode(endorsement.key) + "\n";
  return body + "signature " + base64Encode(root.sign(body)) + "\n";
}

bool parseEndorsement(const std::string& text, Endorsement& endorsement, std::string& body,
                      std::string& signature, std::string& error) {
  if (!plainLines(text, error)) return false;
  const std::vector<std::string> lines = linesOf(text);
  std::vector<std::string> values;
  size_t at = 0;
  if (!takeLines(lines, at, endorsementHeader, {"serial", "expires", "key", "signature"}, values, error))
    return false;
  Endorsement out;
  std::string raw;
  if (at != lines.size())
    error = "lines after the signature";
  else if (!decimal(values[0], out.serial))
    error = "malformed serial";
  else if (!decimal(values[1], out.expires))
    error = "malformed expiry";
  else if (!rawOf(values[2], publicKeySize, out.key))
    error = "malformed key";
  else if (!rawOf(values[3], signatureSize, raw))
    error = "malformed signature";
  else {
    endorsement = std::move(out);
    body = text.substr(0, text.rfind("signature "));
    signature = std::move(raw);
    return true;
  }
  return false;
}

std::string rootStatementText(const SigningKey& oldRoot, const SigningKey& newRoot) {
  const std::string body = std::string(rotationHeader) + "\nold " + base64Encode(oldRoot.publicKey()) +
                           "\nnew " + base64Encode(newRoot.publicKey()) + "\n";
  return body + "old-signature " + base64Encode(oldRoot.sign(body)) + "\nnew-signature " +
         base64Encode(newRoot.sign(body)) + "\n";
}

bool parseRootStatements(const std::string& text, std::vector<RootStatement>& statements,
                         std::string& error) {
  if (!plainLines(text, error)) return false;
  const std::vector<std::string> lines = linesOf(text);
  std::vector<RootStatement> out;
  std::vector<std::string> values;
  for (size_t at = 0; at < lines.size();) {
    if (out.size() == maxRootStatements) {
      error = "more than " + std::to_string(maxRootStatements) + " statements";
      return false;
    }
    const size_t first = at;
    if (!takeLines(lines, at, rotationHeader, {"old", "new", "old-signature", "new-signature"}, values,
                   error))
      return false;
    RootStatement statement;
    if (!rawOf(values[0], publicKeySize, statement.oldRoot) ||
        !rawOf(values[1], publicKeySize, statement.newRoot) ||
        !rawOf(values[2], signatureSize, statement.oldSignature) ||
        !rawOf(values[3], signatureSize, statement.newSignature)) {
      error = "statement at line " + std::to_string(first + 1) + ": malformed key or signature";
      return false;
    }
    statement.body = lines[first] + "\n" + lines[first + 1] + "\n" + lines[first + 2] + "\n";
    out.push_back(std::move(statement));
  }
  statements = std::move(out);
  return true;
}

}  // namespace updater

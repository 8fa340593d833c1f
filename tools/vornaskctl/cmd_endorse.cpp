// vornaskctl endorse and rotate-root: the root's statements about signing keys and its successor.
#include <iostream>

#include "tools/vornaskctl/Command.h"
#include "tools/vornaskctl/Keys.h"
#include "updater/SignedList.h"
#include "updater/Statements.h"
#include "updater/Trust.h"

static int endorseUsage() {
  std::cerr << "usage: vornaskctl endorse ROOTKEY SIGNINGKEY --out FILE [--serial N] [--expires DURATION]\n";
  return 2;
}

static int runEndorse(const std::vector<std::string>& args) {
  // An endorsement outlives many publications; a leaked key is retired by a higher serial.
  const uint64_t defaultLifetime = 365 * 86400;
  std::vector<std::string> keys;
  std::string out;
  uint64_t lifetime = defaultLifetime;
  updater::Endorsement endorsement;
  endorsement.serial = vornaskctl::secondsNow();
  for (size_t i = 0; i < args.size(); ++i) {
    const bool valued = i + 1 < args.size();
    if (args[i] == "--out" && valued)
      out = args[++i];
    else if (args[i] == "--serial" && valued) {
      if (!vornaskctl::parseSerial(args[++i], endorsement.serial)) return endorseUsage();
    } else if (args[i] == "--expires" && valued) {
      if (!vornaskctl::parseDuration(args[++i], lifetime)) return endorseUsage();
    } else if (args[i].compare(0, 2, "--") != 0)
      keys.push_back(args[i]);
    else
      return endorseUsage();
  }
  if (keys.size() != 2 || out.empty()) return endorseUsage();
  const updater::SigningKey root = vornaskctl::readSigningKey(keys[0]);
  if (!vornaskctl::readPublicKey(keys[1], endorsement.key)) {
    std::cerr << "vornaskctl endorse: " << keys[1] << " is not a key file nor a base64 public key\n";
    return 2;
  }
  endorsement.expires = vornaskctl::secondsNow() + lifetime;
  vornaskctl::writeFileReplacing(out, updater::endorsementText(endorsement, root));
  std::cout << "wrote " << out << " serial=" << endorsement.serial << "\n";
  std::cout << "expires " << updater::utcText(endorsement.expires) << "\n";
  return 0;
}

VORNASKCTL_COMMAND(endorse, "endorse ROOTKEY SIGNINGKEY --out FILE [--serial N] [--expires DURATION]",
                   "writes the root's endorsement of a signing key (its key file or public key) to\n"
                   "      FILE: serial N (default: UTC seconds now), expiring after DURATION (default\n"
                   "      365d); publish it with publish --endorsement",
                   runEndorse);

static int runRotateRoot(const std::vector<std::string>& args) {
  if (args.size() != 4 || args[2] != "--out") {
    std::cerr << "usage: vornaskctl rotate-root OLDROOT NEWROOT --out FILE\n";
    return 2;
  }
  const updater::SigningKey oldRoot = vornaskctl::readSigningKey(args[0]);
  const updater::SigningKey newRoot = vornaskctl::readSigningKey(args[1]);
  // The statements form one chain: each new one starts where the last one ended.
  std::string text;
  if (updater::readWhole(args[3], text) && !text.empty()) {
    std::vector<updater::RootStatement> statements;
    std::string error;
    if (!updater::parseRootStatements(text, statements, error)) {
      std::cerr << "vornaskctl rotate-root: " << args[3] << ": " << error << "\n";
      return 1;
    }
    if (statements.back().newRoot != oldRoot.publicKey()) {
      std::cerr << "vornaskctl rotate-root: " << args[3] << " ends at another root than OLDROOT\n";
      return 1;
    }
    if (statements.size() == updater::maxRootStatements) {
      std::cerr << "vornaskctl rotate-root: " << args[3] << " holds the most statements a client follows\n";
      return 1;
    }
  }
  text += updater::rootStatementText(oldRoot, newRoot);
  vornaskctl::writeFileReplacing(args[3], text);
  std::cout << "wrote " << args[3] << " new root " << updater::base64Encode(newRoot.publicKey()) << "\n";
  return 0;
}

static ::vornaskctl::CommandRegistrar rotate_root_registrar(
    {"rotate-root", "rotate-root OLDROOT NEWROOT --out FILE",
     "adds to FILE the statement, signed by both key files, that NEWROOT follows OLDROOT;\n"
     "      publish FILE as DIR/library/roots.txt",
     runRotateRoot});

// The workflow's signed-update steps: the list's signature, the signed
// digests of downloaded files, and the files that are run or loaded.
#include "updater/FileCheck.h"
#include "updater/SignedList.h"
#include "updater/UpdatePlan.h"
#include "updater/UpdateWorkflow.h"

#include <filesystem>

namespace updater {

namespace {

// Codes from 600 on are the transfer's own failures, not an answer about the signature.
const int firstTransferCode = 600;

}  // namespace

void UpdateWorkflow::listArrived(int code, const std::string& body) {
  if (code == 0 && !signing_.enabled() && !listAgain_) {
    requestMirrors(body);
    return;
  }
  if (code != 0 || !signing_.enabled() || listAgain_) {
    fileListFinished(code, body);
    return;
  }
  const std::weak_ptr<bool> alive = alive_;
  net_.getData(
      baseUrl_ + signatureListName + "?" + std::to_string(tickCount()),
      [this, alive](int percent) {
        if (alive.lock()) fileListProgress(percent);
      },
      [this, alive, body](int sigCode, const std::string& manifest) {
        if (!alive.lock()) return;
        if (listAgain_ || sigCode >= firstTransferCode)
          fileListFinished(sigCode, body);
        else if (sigCode != 0 || !signing_.accept(body, manifest))
          fileListFinished(0, body, "Ошибка проверки подписи");
        else
          requestMirrors(body);
      });
}

bool UpdateWorkflow::temporaryVerified(const UpdateEntry& entry) const {
  const std::string temporary = temporaryPath(entry);
  return checkFile(temporary, entry.size, entry.crc) &&
         (!signing_.enabled() || signing_.matches(entry.name, temporary));
}

void UpdateWorkflow::fileCorrupted(const UpdateEntry& entry) {
  std::error_code ignored;
  std::filesystem::remove(temporaryPath(entry), ignored);
  failRound("Файл повреждён: " + entry.target);
}

bool UpdateWorkflow::installedIntact(const std::string& name, const std::string& path) {
  if (!signing_.enabled() || !signing_.signs(name) || signing_.matches(name, path)) return true;
  // Gone, it is planned again by the next list.
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  failRound("Файл повреждён: " + path);
  return false;
}

}  // namespace updater

// The workflow's trust steps: the list's signature, endorsement and root statements, the
// checks of downloaded files, and the files that are run or loaded.
#include "net/DownloadResume.h"
#include "updater/SignedList.h"
#include "updater/Statements.h"
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
  TrustInput input;
  input.list = body;
  fetchTrustText(0, input);
}

void UpdateWorkflow::fetchTrustText(size_t step, const TrustInput& input) {
  // The manifest, the root statements, and (only for a list the root did not sign) the
  // endorsement; the last two may be absent.
  static const struct {
    const char* name;
    size_t limit;
    std::string TrustInput::*text;
  } steps[] = {{signatureListName, listFetchLimit, &TrustInput::manifest},
               {rootStatementsName, statementFetchLimit, &TrustInput::roots},
               {endorsementName, statementFetchLimit, &TrustInput::endorsement}};
  const std::weak_ptr<bool> alive = alive_;
  net_.getData(
      baseUrl_ + steps[step].name + "?" + std::to_string(tickCount()), steps[step].limit,
      [this, alive](int percent) {
        if (alive.lock()) fileListProgress(percent);
      },
      [this, alive, input, step, into = steps[step].text](int textCode, const std::string& text) {
        if (!alive.lock()) return;
        if (listAgain_ || textCode >= firstTransferCode) return fileListFinished(textCode, input.list);
        if (textCode != 0 && step == 0) return fileListFinished(0, input.list, "Ошибка проверки подписи");
        TrustInput next = input;
        if (textCode == 0) next.*into = text;
        if (step == 0) return fetchTrustText(1, next);
        next.endorsementFetched = step == 2;
        judgeTrust(next);
      });
}

void UpdateWorkflow::judgeTrust(const TrustInput& input) {
  switch (signing_.accept(input)) {
    case ListCheck::Accepted:
      return requestMirrors(input.list);
    case ListCheck::Expired:
      return fileListFinished(0, input.list, "Список файлов устарел");
    case ListCheck::NeedEndorsement:
      return fetchTrustText(2, input);
    case ListCheck::Refused:
    case ListCheck::NotStored:
      return fileListFinished(0, input.list, "Ошибка проверки подписи");
  }
}

bool UpdateWorkflow::temporaryVerified(const UpdateEntry& entry) const {
  const std::string temporary = temporaryPath(entry);
  return signing_.expectation(entry.name, temporary, entry.size, entry.crc).holds();
}

void UpdateWorkflow::fileCorrupted(const UpdateEntry& entry) {
  mnet::discardResume(temporaryPath(entry));  // with its resume file: nothing of it is kept
  failRound("Файл повреждён: " + entry.target);
}

bool UpdateWorkflow::installedIntact(const std::string& name, const std::string& path) {
  if (signing_.fileTrusted(name, path)) return true;
  // Gone, it is planned again by the next list.
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  failRound("Файл повреждён: " + path);
  return false;
}

}  // namespace updater

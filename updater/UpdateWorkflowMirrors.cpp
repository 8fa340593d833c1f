// Mirrors: more servers of the listed files. The list and its signature come from the web
// host only; every file is checked as a download from it, so a mirror needs no trust. A
// mirror whose file failed the check is left for the rest of the update.
#include "logging/Log.h"
#include "net/DownloadResume.h"
#include "net/Logs.h"
#include "updater/Mirrors.h"
#include "updater/UpdatePlan.h"
#include "updater/UpdateWorkflow.h"

namespace updater {

void UpdateWorkflow::requestMirrors(const std::string& list) {
  const std::weak_ptr<bool> alive = alive_;
  net_.getData(
      baseUrl_ + mirrorListName + "?" + std::to_string(tickCount()), statementFetchLimit, [](int) {},
      [this, alive, list](int code, const std::string& text) {
        if (!alive.lock()) return;
        mirrors_.clear();
        // Signed updates take only the list the manifest binds; without one the web host
        // serves alone.
        if (code == 0 && !listAgain_) {
          if (!signing_.enabled() || signing_.mirrorsMatch(text))
            parseMirrorList(text, mirrors_);
          else
            MLOG(mnet::downloadLog(), mlog::Warning) << "mirror list not signed, not used";
        }
        fileListFinished(0, list);
      });
}

std::vector<std::string> UpdateWorkflow::sourcesOf(const UpdateEntry& entry) const {
  std::vector<std::string> urls{fileUrl(baseUrl_, entry.name)};
  for (const std::string& mirror : mirrors_)
    if (!badMirrors_.count(mirror)) urls.push_back(fileUrl(mirror, entry.name));
  return urls;
}

bool UpdateWorkflow::leaveMirrorThatServed(const std::vector<std::string>& used) {
  if (used.size() != 1) return false;
  for (const std::string& mirror : mirrors_) {
    if (badMirrors_.count(mirror) || used.front().compare(0, mirror.size(), mirror) != 0) continue;
    MLOG(mnet::downloadLog(), mlog::Warning) << "mirror served a wrong file, not used again: " << mirror;
    badMirrors_.insert(mirror);
    return true;
  }
  return false;
}

bool UpdateWorkflow::judgeMirrors(size_t index, bool verified, const std::vector<std::string>& used) {
  if (verified) {
    // A wrong file from several servers, then a right one from one of them alone: when one
    // mirror is left of the others, it served the wrong bytes.
    std::vector<std::string> others;
    for (const std::string& suspect : suspects_)
      if (used.size() == 1 && suspect != used.front()) others.push_back(suspect);
    leaveMirrorThatServed(others);
    suspects_.clear();
    oneSourceAtATime_ = false;
    return false;
  }
  // The next try takes one server at a time, so that a wrong file names its server.
  oneSourceAtATime_ = true;
  if (!leaveMirrorThatServed(used)) {
    if (used.size() > 1) suspects_ = used;
    return false;
  }
  mnet::discardResume(temporaryPath(plan_[index]));
  processPlan(index, acceptUnverified_);
  return true;
}

}  // namespace updater

#include "gamehost/MovieCalls.h"

#include "logging/Log.h"
#include "platform/com/Bstr.h"
#include "shell/Version.h"
#include "support/Text.h"

namespace gamehost {

namespace com = platform::com;

namespace {

MLOG_DEFINE_PARTICIPANT(movieCallLog, "movie_call")

}  // namespace

std::u16string clientReplyRequest(std::uint16_t port) {
  std::u16string r = u"<invoke name=\"client\" returntype=\"xml\"><arguments><string>";
  r += mstd::utf8ToUtf16(shell::clientVersion, mstd::Malformed::Bridge);
  if (port) r += u";" + mstd::utf8ToUtf16(std::to_string(port), mstd::Malformed::Bridge);
  return r + u"</string></arguments></invoke>";
}

std::u16string bugReportRequest(const std::string& text) {
  return u"<invoke name=\"bugreport\" returntype=\"xml\"><arguments><string>" +
         mstd::xmlEscape(mstd::utf8ToUtf16(text, mstd::Malformed::Bridge)) +
         u"</string></arguments></invoke>";
}

void callMovie(com::IShockwaveFlash* control, const std::u16string& request) {
  if (!control) return;
  try {
    com::Bstr text(request);
    com::Bstr response;
    control->CallFunction(text.get(), response.out());
  } catch (...) {
    // A fault inside the control is dropped.
    MLOG(movieCallLog(), mlog::Level::Debug) << "a call into the movie failed inside the control";
  }
}

}  // namespace gamehost

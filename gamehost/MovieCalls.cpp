#include "gamehost/MovieCalls.h"

#include "gamehost/TextConversion.h"
#include "platform/com/Bstr.h"
#include "shell/Version.h"

namespace gamehost {

namespace com = platform::com;

std::u16string clientReplyRequest(std::uint16_t port) {
  std::u16string r = u"<invoke name=\"client\" returntype=\"xml\"><arguments><string>";
  r += utf8ToUtf16(shell::clientVersion);
  if (port) r += u";" + utf8ToUtf16(std::to_string(port));
  return r + u"</string></arguments></invoke>";
}

std::u16string bugReportRequest(const std::string& text) {
  return u"<invoke name=\"bugreport\" returntype=\"xml\"><arguments><string>" + utf8ToUtf16(text) +
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
  }
}

}  // namespace gamehost

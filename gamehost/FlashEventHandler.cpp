#include "gamehost/FlashEventHandler.h"

#include "gamehost/MovieFile.h"
#include "gamehost/MovieRequest.h"
#include "gamehost/TraceQueue.h"
#include "platform/com/Bstr.h"
#include "platform/ui/MessageLoop.h"
#include "shell/Client.h"
#include "shell/ThreadMessages.h"
#include "support/Text.h"

namespace gamehost {

namespace com = platform::com;
namespace ui = platform::ui;

namespace {

// One for the process: traces of a closed game window still count.
TraceQueue& traceQueue() {
  static TraceQueue queue;
  return queue;
}

}  // namespace

std::int32_t readVersion(const std::u16string& text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == u'-';
  if (negative) i = 1;
  std::uint32_t value = 0;
  for (; i < text.size(); ++i) value = value * 10 + static_cast<std::uint32_t>(text[i] - u'0');
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}

com::HRESULT FlashEventHandler::QueryInterface(com::REFIID riid, void** object) {
  if (!object) return com::E_POINTER;
  if (riid == com::IID_IDispatch || riid == com::DIID__IShockwaveFlashEvents) {
    *object = static_cast<com::IDispatch*>(this);
    return com::S_OK;
  }
  *object = nullptr;
  return com::E_NOINTERFACE;
}

com::HRESULT FlashEventHandler::Invoke(com::DISPID id, com::REFIID, com::LCID, com::WORD,
                                       com::DISPPARAMS* params, com::VARIANT*, com::EXCEPINFO*, com::UINT*) {
  if (id != com::DISPID_FlashCall || !params || params->cArgs < 1 || !params->rgvarg) return com::S_OK;
  const com::VARIANT& first = params->rgvarg[params->cArgs - 1];  // arguments come in reverse order
  if (first.vt != com::VT_BSTR) return com::S_OK;
  handleRequest(com::bstrText(first.bstrVal));
  return com::S_OK;
}

void FlashEventHandler::handleRequest(const std::u16string& request) {
  MovieRequest parsed;
  if (parseMovieRequest(request, parsed)) dispatch(parsed.name, parsed.arguments);
}

void FlashEventHandler::dispatch(const std::u16string& name, const std::vector<std::u16string>& arguments) {
  const ui::ThreadId self = ui::currentThreadId();
  if (name == u"reload") {
    shell::post(self, shell::ReloadMessage{});
  } else if (name == u"client") {
    if (!arguments.empty()) client_.setMovieVersion(readVersion(arguments[0]));
    shell::post(self, shell::ClientHelloMessage{});
  } else if (name == u"tracert") {
    if (arguments.empty()) return;
    traceQueue().post(
        client_.threadPool(), mstd::utf16ToUtf8(arguments[0], mstd::Malformed::Bridge),
        [self](const std::string& report) { shell::post(self, shell::TraceResultMessage{report}); });
  } else if (name == u"writestring") {
    if (arguments.size() < 2) return;
    file_.write(arguments[0], arguments[1]);
  }
}

}  // namespace gamehost

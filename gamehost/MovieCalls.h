#pragma once

#include <cstdint>
#include <string>

#include "platform/com/Com.h"

namespace gamehost {

// The requests of the two calls into the movie.
std::u16string clientReplyRequest(std::uint16_t port);  // port 0: none
// `text` (UTF-8) goes in as it is, not escaped.
std::u16string bugReportRequest(const std::string& text);

// CallFunction with `request`; the response is freed unread, and whatever the
// control throws is dropped. Nothing happens without a control.
void callMovie(platform::com::IShockwaveFlash* control, const std::u16string& request);

}  // namespace gamehost

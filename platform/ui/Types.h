#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform::ui {

struct WindowTag;
struct FontTag;
// Windows and controls are addressed by handle; a null handle means "none".
using WindowHandle = WindowTag*;
using FontHandle = FontTag*;
using ThreadId = std::uint32_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// Window messages; the numbers are the classic ones.
enum : unsigned {
  WmCreate = 0x0001,
  WmDestroy = 0x0002,
  WmSize = 0x0005,
  WmSetFocus = 0x0007,
  WmClose = 0x0010,
  WmQuit = 0x0012,
  WmEraseBkgnd = 0x0014,  // wParam: PaintContext*
  WmShowWindow = 0x0018,  // wParam: 1 shown, 0 hidden
  WmKeyDown = 0x0100,     // wParam: virtual key
  WmCommand = 0x0111,     // lParam: the control's handle
  WmTimer = 0x0113,       // wParam: timer id
  WmUser = 0x0400,
};

enum : unsigned { VkReturn = 0x0D, VkEscape = 0x1B };

// Window and control styles.
namespace style {
constexpr std::uint32_t Child = 0x40000000;
constexpr std::uint32_t Visible = 0x10000000;
constexpr std::uint32_t Disabled = 0x08000000;
constexpr std::uint32_t ClipSiblings = 0x04000000;
constexpr std::uint32_t ClipChildren = 0x02000000;
constexpr std::uint32_t Caption = 0x00C00000;
constexpr std::uint32_t SysMenu = 0x00080000;
constexpr std::uint32_t ThickFrame = 0x00040000;
constexpr std::uint32_t MinimizeBox = 0x00020000;
constexpr std::uint32_t MaximizeBox = 0x00010000;
constexpr std::uint32_t OverlappedWindow = Caption | SysMenu | ThickFrame | MinimizeBox | MaximizeBox;
// Static controls.
constexpr std::uint32_t StaticCenter = 0x1;
// Buttons (low four bits).
constexpr std::uint32_t PushButton = 0x0;
constexpr std::uint32_t DefPushButton = 0x1;
constexpr std::uint32_t AutoCheckBox = 0x3;
// Edit boxes: sunken border.
constexpr std::uint32_t ClientEdge = 0x00000200;
}  // namespace style

// Host: a plain area that holds controls of its own (children use it as parent).
enum class ControlClass { Static, Edit, Button, Progress, Host };

enum class ShowCommand { Hide, Show, ShowNormal, Maximize, Restore };

// 0x00BBGGRR, as a COLORREF.
using Color = std::uint32_t;
constexpr Color rgb(unsigned r, unsigned g, unsigned b) {
  return r | (g << 8) | (b << 16);
}
constexpr Color buttonFaceColor = rgb(240, 240, 240);

// What a bound handler receives for WmEraseBkgnd.
class PaintContext {
 public:
  virtual ~PaintContext() = default;
  virtual void fillRect(const Rect& r, Color c) = 0;
};

using WindowProc = std::function<LResult(WindowHandle, unsigned, WParam, LParam)>;

struct Message {
  WindowHandle window = nullptr;
  unsigned message = 0;
  WParam wParam = 0;
  LParam lParam = 0;
};

struct Placement {
  Rect normal;  // the restored rectangle
  bool maximized = false;
};

}  // namespace platform::ui

// Attaching a control to a host child on the headless back end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/axhost/AxHost.h"
#include "platform/ui/Window.h"

namespace com = platform::com;
namespace ui = platform::ui;
using namespace ui::style;

namespace {

// Only IUnknown and, when `attachable`, the attach interface.
class Control final : public com::IControlAttach {
 public:
  explicit Control(bool attachable, com::HRESULT attachResult = com::S_OK)
      : attachable_(attachable), attachResult_(attachResult) {}
  com::HRESULT QueryInterface(com::REFIID riid, void** object) override {
    *object = nullptr;
    if (riid == com::IID_IUnknown || (riid == com::IID_IControlAttach && attachable_)) *object = this;
    if (!*object) return com::E_NOINTERFACE;
    AddRef();
    return com::S_OK;
  }
  com::ULONG AddRef() override { return ++refs; }
  com::ULONG Release() override { return --refs; }
  com::HRESULT Attach(void* parent, int width, int height) override {
    calls.push_back(std::string("attach ") + (parent ? "native " : "null ") + std::to_string(width) + "x" +
                    std::to_string(height));
    return attachResult_;
  }
  com::HRESULT SetExtent(int width, int height) override {
    calls.push_back("extent " + std::to_string(width) + "x" + std::to_string(height));
    return com::S_OK;
  }
  com::HRESULT AllowSocketPorts(const std::uint16_t*, int) override { return com::S_OK; }

  com::ULONG refs = 1;
  std::vector<std::string> calls;

 private:
  bool attachable_;
  com::HRESULT attachResult_;
};

}  // namespace

TEST(AxHost, ControlGetsTheHostSizeFollowsItAndIsReleasedWithIt) {
  ui::WindowHandle w = ui::createWindow("Vornask", OverlappedWindow, ui::Rect{0, 0, 800, 600}, nullptr);
  ui::WindowHandle host = ui::createControl(ui::ControlClass::Host, "", Child | Visible, 0, 0, 800, 600, w);
  EXPECT_EQ(ui::nativeHostWidget(host), nullptr);  // headless
  EXPECT_EQ(ui::nativeHostWidget(w), nullptr);
  Control c(true);
  ASSERT_EQ(platform::ax::attachControl(&c, host), com::S_OK);
  EXPECT_EQ(c.refs, 2u);
  ui::setWindowPos(host, 0, 0, 1024, 700);
  ui::setWindowPos(w, 5, 5, 300, 200);  // the window alone: the host keeps its size
  EXPECT_EQ(c.calls, (std::vector<std::string>{"attach null 800x600", "extent 1024x700"}));
  ui::destroyWindow(w);
  EXPECT_EQ(c.refs, 1u);
}

TEST(AxHost, ControlsWithoutTheInterfaceOrWithAFailingAttachAreNotAttached) {
  ui::WindowHandle w = ui::createWindow("Vornask", OverlappedWindow, ui::Rect{0, 0, 800, 600}, nullptr);
  ui::WindowHandle host = ui::createControl(ui::ControlClass::Host, "", Child | Visible, 0, 0, 80, 60, w);
  Control plain(false), failing(true, com::E_FAIL);
  EXPECT_EQ(platform::ax::attachControl(&plain, host), com::E_NOINTERFACE);
  EXPECT_EQ(platform::ax::attachControl(&failing, host), com::E_FAIL);
  EXPECT_EQ(platform::ax::attachControl(nullptr, host), com::E_INVALIDARG);
  EXPECT_EQ(plain.refs, 1u);
  EXPECT_EQ(failing.refs, 1u);
  ui::setWindowPos(host, 0, 0, 10, 10);
  EXPECT_EQ(failing.calls, std::vector<std::string>{"attach null 80x60"});
  ui::destroyWindow(w);
}

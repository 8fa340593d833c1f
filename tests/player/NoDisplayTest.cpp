#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/com/Com.h"
#include "tests/common/Sandbox.h"

namespace {

using namespace platform::com;

TEST(NoDisplayTest, CreateInstanceFailsWithALogRecordSayingWhy) {
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  void* handle = ::dlopen((vtest::buildDir() / "player" / "flash.ocx").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << ::dlerror();
  auto get = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
  ASSERT_NE(get, nullptr);
  void* factory = nullptr;
  ASSERT_EQ(get(CLSID_ShockwaveFlash, IID_IClassFactory, &factory), S_OK);
  void* object = reinterpret_cast<void*>(1);
  testing::internal::CaptureStdout();
  const HRESULT result =
      static_cast<IClassFactory*>(factory)->CreateInstance(nullptr, IID_IShockwaveFlash, &object);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(FAILED(result));
  EXPECT_EQ(object, nullptr);
  EXPECT_NE(log.find("ERR ["), std::string::npos) << log;
  EXPECT_NE(log.find("<flash> no display"), std::string::npos) << log;
  // A second try fails the same way rather than half-initialising.
  EXPECT_TRUE(
      FAILED(static_cast<IClassFactory*>(factory)->CreateInstance(nullptr, IID_IShockwaveFlash, &object)));
}

}  // namespace

#include <gtest/gtest.h>

#include "platform/com/Bstr.h"
#include "tests/platform/Xvfb.h"
#include "tests/player/host/PlayerHost.h"

namespace vtest {
namespace {

using namespace platform::com;

// Counts its references; answers only IUnknown unless it is an event sink.
class CountedSink final : public IDispatch {
 public:
  explicit CountedSink(bool events) : events_(events) {}
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || (events_ && (riid == IID_IDispatch || riid == DIID__IShockwaveFlashEvents))) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return S_OK;
  }
  ULONG references = 1;

 private:
  bool events_;
};

class ComContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(lib.ready()) << lib.problem;
  }
  PlayerLibrary& lib = PlayerLibrary::get();
};

TEST_F(ComContractTest, TheLibraryAnswersOnlyTheControlsClassAndTheFactoryOnlyItsInterfaces) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(lib.getClassObject(DIID__IShockwaveFlashEvents, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(lib.getClassObject(CLSID_ShockwaveFlash, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(lib.factory->CreateInstance(lib.factory, IID_IShockwaveFlash, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(lib.factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ComContractTest, TheControlAnswersItsInterfacesAndKeepsSinksOnlyWhileAdvised) {
  void* object = nullptr;
  ASSERT_EQ(lib.factory->CreateInstance(nullptr, IID_IShockwaveFlash, &object), S_OK);
  auto* flash = static_cast<IShockwaveFlash*>(object);
  for (const IID* iid :
       {&IID_IUnknown, &IID_IDispatch, &IID_IConnectionPointContainer, &IID_IControlAttach}) {
    void* other = nullptr;
    EXPECT_EQ(flash->QueryInterface(*iid, &other), S_OK);
    ASSERT_NE(other, nullptr);
    static_cast<IUnknown*>(other)->Release();
  }
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(flash->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(flash->LoadMovie(1, Bstr(u"/nowhere/main.swf").get()), E_INVALIDARG);

  void* c = nullptr;
  ASSERT_EQ(flash->QueryInterface(IID_IConnectionPointContainer, &c), S_OK);
  auto* container = static_cast<IConnectionPointContainer*>(c);
  IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
  EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point, nullptr);
  ASSERT_EQ(container->FindConnectionPoint(DIID__IShockwaveFlashEvents, &point), S_OK);
  IID iid{};
  EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, DIID__IShockwaveFlashEvents);

  CountedSink notASink(false), kept(true), dropped(true);
  DWORD cookie = 99;
  EXPECT_EQ(point->Advise(&notASink, &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(notASink.references, 1u);
  DWORD keptCookie = 0, droppedCookie = 0;
  ASSERT_EQ(point->Advise(&kept, &keptCookie), S_OK);
  ASSERT_EQ(point->Advise(&dropped, &droppedCookie), S_OK);
  EXPECT_NE(keptCookie, droppedCookie);
  EXPECT_EQ(point->Unadvise(droppedCookie), S_OK);
  EXPECT_EQ(point->Unadvise(droppedCookie), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(dropped.references, 1u);
  EXPECT_GT(kept.references, 1u);

  point->Release();
  container->Release();
  flash->Release();
  pumpFor(20);
  EXPECT_EQ(kept.references, 1u) << "a released control lets go of its sinks";
}

}  // namespace
}  // namespace vtest

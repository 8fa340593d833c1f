#include "platform/com/Com.h"
#include "player/ClassFactory.h"

using namespace platform::com;

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                                            void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_ShockwaveFlash) return CLASS_E_CLASSNOTAVAILABLE;
  return player::ClassFactory::instance().QueryInterface(riid, object);
}

// A library named "flash.ocx" that exports no DllGetClassObject.
extern "C" __attribute__((visibility("default"))) int notTheEntryPoint() {
  return 42;
}

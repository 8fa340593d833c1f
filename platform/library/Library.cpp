#include "platform/library/Library.h"

#include <dlfcn.h>

namespace platform {

LibraryHandle loadLibrary(const std::string& path) {
  return static_cast<LibraryHandle>(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

void* librarySymbol(LibraryHandle library, const char* name) {
  return library ? ::dlsym(library, name) : nullptr;
}

}  // namespace platform

#pragma once

#include <string>

namespace platform {

struct LibraryTag;
using LibraryHandle = LibraryTag*;

// Loads a shared library ("./flash.ocx": relative to the working directory).
// It is never unloaded. Null when it cannot be loaded.
LibraryHandle loadLibrary(const std::string& path);
// The address of an exported name, or null.
void* librarySymbol(LibraryHandle library, const char* name);

}  // namespace platform

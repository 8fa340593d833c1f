#pragma once

#include <cstddef>

// The program's icon, 64 x 64 PNG (shell/icons/vornask-64.png).
extern const unsigned char vornaskIconPng[];
extern const std::size_t vornaskIconPngSize;

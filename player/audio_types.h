#pragma once

// The audio library's integer types and its stream handle, for code that holds a handle without calling the
// library (the main window keeps the one stream in use).

#include <cstdint>

using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
// A stream of the audio library; 0 means "no stream".
using HSTREAM = DWORD;

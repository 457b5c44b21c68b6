// The protocols' interface tables as wayland-scanner writes them. They are C; included after their headers
// (C linkage, extern declarations first) they build as part of this C++ library, as the protocols' headers
// expect them. The scanner's visibility attribute comes after those declarations, where it has no effect.

extern "C" {
#include "dpms-client-protocol.h"
#include "wlr-output-power-management-unstable-v1-client-protocol.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
#include "dpms-protocol.c"
#include "wlr-output-power-management-unstable-v1-protocol.c"
#pragma GCC diagnostic pop
}

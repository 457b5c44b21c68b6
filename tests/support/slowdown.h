#pragma once

// How many times longer a wait for heavy work may take: built with AddressSanitizer (-DVARNEX_SANITIZE=ON,
// whose tests also record a whole stack at every allocation) the program runs several times slower.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kSlowdown = 10;
#else
inline constexpr int kSlowdown = 1;
#endif

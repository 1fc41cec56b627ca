#pragma once

// Whether this build runs under AddressSanitizer. Bounds on wall time that
// include the tool's own processing get more room there, where every
// allocation is several times slower; the tool's time limits never change.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED_BUILD = true;
#else
constexpr bool SANITIZED_BUILD = false;
#endif

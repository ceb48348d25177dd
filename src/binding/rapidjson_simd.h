// Include before any RapidJSON header. Turns on RapidJSON's vector scanning of whitespace and
// strings when the compiler already targets the instructions; we never raise the target ourselves,
// so the library runs on every x86-64 machine. The vector loops read aligned 16-byte blocks that
// may reach up to 15 bytes past the NUL ending the text: every text handed to a reader built with
// this header must have kRapidJsonScanPadding zero bytes behind it. Sanitizer builds run the same
// loops, so they check that this holds.
#ifndef ZEK_BINDING_RAPIDJSON_SIMD_H_
#define ZEK_BINDING_RAPIDJSON_SIMD_H_

#include <cstddef>

namespace Varn {
inline constexpr size_t kRapidJsonScanPadding = 16;
}  // namespace Varn

#if !defined(RAPIDJSON_SSE42) && !defined(RAPIDJSON_SSE2)
#if defined(__SSE4_2__)
#define RAPIDJSON_SSE42
#elif defined(__SSE2__)
#define RAPIDJSON_SSE2
#endif
#endif

#endif  // ZEK_BINDING_RAPIDJSON_SIMD_H_

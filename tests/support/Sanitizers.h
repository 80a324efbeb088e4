// How much longer a test may wait for something to happen when the build is instrumented by
// ThreadSanitizer (scripts/tsan.sh), which runs the window's code several times slower, and
// slower still on a loaded machine. 1 in a normal build, so a bound stays as tight as written.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define QUILLON_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUILLON_THREAD_SANITIZER 1
#endif
#endif

namespace quillon::test {

#ifdef QUILLON_THREAD_SANITIZER
inline constexpr int kSanitizerSlowdown = 10;
#else
inline constexpr int kSanitizerSlowdown = 1;
#endif

}  // namespace quillon::test

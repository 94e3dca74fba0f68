// Tests that can only hold on one system say so in their first line and are skipped on the other,
// with the reason in the test output: they stay written, and counted as skipped there. A body
// that would not compile on the other system sits in #ifdef beside the marker.
#pragma once

#include <gtest/gtest.h>

#include "support/host_paths.h"

#ifdef _WIN32
#define BRINDLE_POSIX_ONLY(reason) GTEST_SKIP() << "POSIX only: " << (reason)
#define BRINDLE_WINDOWS_ONLY(reason) static_cast<void>(0)
#else
#define BRINDLE_POSIX_ONLY(reason) static_cast<void>(0)
#define BRINDLE_WINDOWS_ONLY(reason) GTEST_SKIP() << "Windows only: " << (reason)
#endif

// A case that holds on Windows but not under Wine, for a named shortfall of Wine's.
#define BRINDLE_NOT_UNDER_WINE(reason) \
  if (::brindle::test::UnderWine()) GTEST_SKIP() << "not under Wine: " << (reason)

namespace brindle::test {
// Wine's code page 54936 (GB18030) turns every character GBK lacks into "?", where Windows' own
// gives its four-byte form: under Wine names keep only what GBK has.
inline constexpr const char* kGb18030UnderWine =
    "Wine's code page 54936 gives \"?\" for every character GBK lacks";
}  // namespace brindle::test

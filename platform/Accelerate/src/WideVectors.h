#pragma once
// The heavy loops are built twice on x86-64, for the baseline and for AVX2 with FMA, and the
// loader picks the one this processor runs (not under the sanitizers, whose start-up the
// loader's choice would run ahead of).
#if defined(__SANITIZE_ADDRESS__)
#define VDSP_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VDSP_SANITIZED 1
#endif
#endif
// GCC only: clang 14 exports the clones' dispatcher under another name, so callers cannot link.
#if defined(__x86_64__) && defined(__ELF__) && !defined(VDSP_SANITIZED) && !defined(__clang__)
#define VDSP_WIDE_VECTORS __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define VDSP_WIDE_VECTORS
#endif

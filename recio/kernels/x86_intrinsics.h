// The intrinsics of the x86 level sources: the processor's own, or, where
// the tests build those sources a second time, portable definitions of them
// (SIMDe), so that every level runs on every machine. Only tests and fuzz
// targets define VORNET_KERNELS_EMULATED; the program never includes SIMDe.
#pragma once

#ifdef VORNET_KERNELS_EMULATED
#include "recio/kernels/emulated/x86_intrinsics.h"
#else
#include <immintrin.h>
#endif

// The intrinsics of the NEON level sources: the processor's own on aarch64,
// or, where the tests build those sources on another machine, SIMDe's
// portable definitions of them. Only tests and fuzz targets define
// VORNET_KERNELS_EMULATED; the program never includes SIMDe.
#pragma once

#ifdef VORNET_KERNELS_EMULATED
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/arm/neon.h>
#else
#include <arm_neon.h>
#endif

# The field kernels: the stages every level shares, and one folder per
# instruction set. The x86 folders are compiled only for x86-64, each as an
# object library with its own instruction-set flags (the levels are chosen
# at run time); the NEON folder only for aarch64, where it is the baseline.
set(vornet_kernel_sources
  recio/kernels/levels.cpp
  recio/kernels/level_choice.cpp
  recio/kernels/run_loop.cpp
  recio/kernels/field_layout.cpp
  recio/kernels/layout_plan.cpp
  recio/kernels/block_check.cpp
  recio/kernels/word_conversion.cpp
  recio/kernels/lane_layout.cpp
  recio/kernels/portable/classify.cpp)
set(vornet_kernel_avx2_sources recio/kernels/avx2/classify.cpp recio/kernels/avx2/lanes.cpp)
set(vornet_kernel_avx512_sources recio/kernels/avx512/classify.cpp recio/kernels/avx512/lanes.cpp)
set(vornet_kernel_neon_sources recio/kernels/neon/classify.cpp recio/kernels/neon/lanes.cpp)
set(vornet_kernel_avx2_flags -mavx2 -mbmi2 -mfma)
set(vornet_kernel_avx512_flags -mavx512f -mavx512bw -mavx512dq -mavx512vl -mavx512vbmi -mbmi2 -mfma)
set(vornet_kernel_neon_flags)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(vornet_kernel_levels avx2 avx512)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  set(vornet_kernel_levels neon)
else()
  set(vornet_kernel_levels)
endif()

# Adds the kernels to `target`; further arguments are compile options for
# the level object libraries (the target's own options do not reach them).
function(vornet_add_kernels target)
  list(TRANSFORM vornet_kernel_sources PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE shared)
  target_sources(${target} PRIVATE ${shared})
  foreach(level IN LISTS vornet_kernel_levels)
    list(TRANSFORM vornet_kernel_${level}_sources PREPEND ${PROJECT_SOURCE_DIR}/
         OUTPUT_VARIABLE sources)
    add_library(${target}_${level} OBJECT ${sources})
    target_include_directories(${target}_${level} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${target}_${level} PRIVATE ${vornet_kernel_${level}_flags} ${ARGN})
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:${target}_${level}>)
  endforeach()
endfunction()

# Adds to `target` (a test or fuzz target) the AVX2, AVX-512 and NEON level
# sources compiled once more against SIMDe's portable intrinsics, where SIMDe
# is installed and the target is x86-64; further arguments are compile options. Without them
# emulated_stages() has none and the tests say so.
function(vornet_add_emulated_kernels target)
  find_path(VORNET_SIMDE_INCLUDE simde/x86/avx512.h)
  set(sources ${PROJECT_SOURCE_DIR}/recio/kernels/emulated/levels.cpp)
  add_library(${target}_emulated OBJECT)
  if(VORNET_SIMDE_INCLUDE AND "avx512" IN_LIST vornet_kernel_levels)
    foreach(level avx2 avx512 neon)
      list(TRANSFORM vornet_kernel_${level}_sources PREPEND ${PROJECT_SOURCE_DIR}/
           OUTPUT_VARIABLE level_sources)
      list(APPEND sources ${level_sources})
    endforeach()
    target_compile_definitions(${target}_emulated PRIVATE VORNET_KERNELS_EMULATED
                                                          VORNET_NEON_EMULATED)
    # SIMDe's 256- and 512-bit types are GCC vectors; clang warns that their
    # passing would differ with AVX enabled. These copies never meet code
    # built with AVX through such a type.
    target_compile_options(${target}_emulated PRIVATE -Wno-psabi)
    # SIMDe computes the instructions' wrapping lane arithmetic on signed
    # lanes with the compiler's vector operators; the wrap is the emulated
    # instruction's meaning, not an overflow to report.
    target_compile_options(${target}_emulated PRIVATE -fno-sanitize=signed-integer-overflow)
    # What these copies add under the sanitizers is the bounds of every
    # load and store, which the emulated intrinsics make plain memory
    # accesses. Poisoning the scope of each of SIMDe's inlined locals adds
    # nothing to that and was most of the compile's time (g++ took ten
    # minutes over the AVX2 lanes). For the same reason the AVX2 lanes
    # leave out the undefined-behaviour checks here: their own build runs
    # under those checks on any AVX2 machine. A source's properties hold in
    # the directory that calls this alone.
    if(VORNET_SANITIZE)
      target_compile_options(${target}_emulated PRIVATE -fno-sanitize-address-use-after-scope)
      set_source_files_properties(${PROJECT_SOURCE_DIR}/recio/kernels/avx2/lanes.cpp
                                  PROPERTIES COMPILE_OPTIONS -fno-sanitize=undefined)
    endif()
    target_include_directories(${target}_emulated SYSTEM PRIVATE ${VORNET_SIMDE_INCLUDE})
  endif()
  target_sources(${target}_emulated PRIVATE ${sources})
  target_include_directories(${target}_emulated PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${target}_emulated PRIVATE ${ARGN})
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:${target}_emulated>)
endfunction()

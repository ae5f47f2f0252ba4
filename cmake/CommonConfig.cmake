# Settings every target of the suite shares: link pavoline_common.
add_library(pavoline_common INTERFACE)
target_compile_features(pavoline_common INTERFACE cxx_std_17)
target_compile_options(pavoline_common INTERFACE -Wall -Wextra)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

set(PAVOLINE_SANITIZER_FLAGS "")
if(PAVOLINE_SANITIZE)
  list(APPEND PAVOLINE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
endif()
if(PAVOLINE_FUZZ)
  # Every library is instrumented for coverage; the fuzz targets add the libFuzzer driver.
  list(APPEND PAVOLINE_SANITIZER_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
endif()
if(PAVOLINE_SANITIZER_FLAGS)
  target_compile_options(pavoline_common INTERFACE ${PAVOLINE_SANITIZER_FLAGS})
  target_link_options(pavoline_common INTERFACE ${PAVOLINE_SANITIZER_FLAGS})
endif()

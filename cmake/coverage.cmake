# Coverage build: every target compiled and linked with gcov instrumentation
# at -O0, so that each line of the source maps to code that runs or not.
# scripts/coverage configures it, runs the suite and reports with gcovr.
option(TVK_COVERAGE "Build everything with gcov instrumentation (gcc, -O0)" OFF)

if(TVK_COVERAGE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "TVK_COVERAGE needs gcc, not ${CMAKE_CXX_COMPILER_ID}")
  endif()
  add_compile_options(--coverage -O0)
  add_link_options(--coverage)
  # A launcher that becomes the overlay never exits, so its counts must be
  # written before the exec. gcc does that by turning execve and execvp into
  # calls that write them first, but only outside strict ISO mode: without
  # the GNU dialect every run that reaches the overlay would count for nothing.
  set(CMAKE_CXX_EXTENSIONS ON)
  # A static launcher writes its counts too, but the dynamic one is the
  # build every other option already tests. The cached choice stays as it was.
  set(TVK_STATIC OFF)
  message(STATUS "TVK_COVERAGE: instrumented, gnu++ dialect, launcher linked dynamically")
endif()

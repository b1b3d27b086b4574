# `cmake --build <build> --target demo` lays out a demo install tree in
# <build>/demo/opt/tovrek, with a stand-in overlay that prints what it is
# handed, and runs the launcher there as a user would.

add_executable(tvkcombo_demo_overlay EXCLUDE_FROM_ALL
               ${CMAKE_SOURCE_DIR}/examples/demo_overlay.cpp)
target_compile_options(tvkcombo_demo_overlay PRIVATE ${TVK_WARNINGS})
set_target_properties(tvkcombo_demo_overlay PROPERTIES
    OUTPUT_NAME tvkcombo.ovl
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/demo-overlay)

add_custom_target(demo
  COMMAND ${CMAKE_COMMAND}
          -DLAUNCHER=$<TARGET_FILE:tvkcombo>
          -DOVERLAY=$<TARGET_FILE:tvkcombo_demo_overlay>
          -DSTAMP=${TVK_STAMP}
          -DNLS_DIR=${TVK_NLS_DIR}
          -DDEMO_DIR=${CMAKE_BINARY_DIR}/demo
          -P ${CMAKE_CURRENT_LIST_DIR}/demo-run.cmake
  COMMENT "Running tvkcombo in a demo install tree"
  USES_TERMINAL
  VERBATIM)
add_dependencies(demo tvkcombo tvkcombo_demo_overlay tvk_catalogs)

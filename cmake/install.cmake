# Install tree, usage catalogs, manual page and demo. The Debian package is
# made from this same tree by debian/rules.
#
# `cmake --install <build> --prefix <dir>` lays out a tree that the launcher
# accepts as its root directory:
#   <dir>/bin/tvkcombo          the launcher (the overlay is not ours to install)
#   <dir>/ver/tvkcombo          the version stamp the launcher checks
#   <dir>/nls/                  the usage catalogs
#   <dir>/lib/                  for the overlay's libraries
#   <dir>/share/man/man1/tvkcombo.1
#   <dir>/share/bash-completion/completions/tvkcombo
# With no --prefix, <dir> is /opt/tovrek (see the top-level CMakeLists.txt).

include(${CMAKE_CURRENT_LIST_DIR}/nls.cmake)

# The launcher accepts a root only when the first line of ver/tvkcombo is its
# own major.minor.patch, written as "%i.%i.%i\n".
set(TVK_STAMP_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(TVK_STAMP ${CMAKE_BINARY_DIR}/ver/tvkcombo)
file(CONFIGURE OUTPUT ${TVK_STAMP} CONTENT "@TVK_STAMP_VERSION@\n" @ONLY)

# The page names the version itself, so that it reads the same in the source
# tree: a new version changes the page too.
set(TVK_MANPAGE ${CMAKE_SOURCE_DIR}/docs/tvkcombo.1)
file(STRINGS ${TVK_MANPAGE} title REGEX "^\\.TH ")
if(NOT title MATCHES " \"tvkcombo ${PROJECT_VERSION}\" ")
  message(FATAL_ERROR "The .TH line of ${TVK_MANPAGE} must name tvkcombo ${PROJECT_VERSION}")
endif()

set(TVK_DIRECTORY_MODE OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS tvkcombo RUNTIME DESTINATION bin)
install(FILES ${TVK_STAMP} DESTINATION ver)
install(FILES ${TVK_CATALOGS} DESTINATION nls)
install(DIRECTORY DESTINATION lib DIRECTORY_PERMISSIONS ${TVK_DIRECTORY_MODE})
install(FILES ${TVK_MANPAGE} DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/completion/tvkcombo.bash
        DESTINATION share/bash-completion/completions RENAME tvkcombo)

# Every user runs the launcher and reads its tree, whatever the installer's
# umask: install() gives the files their modes, but CMake makes directories by
# the umask (0700 under umask 077). The last rule opens to all every directory
# from the tree down to an installed file.
install(CODE "set(TVK_DIRECTORY_MODE ${TVK_DIRECTORY_MODE})")
install(CODE [[
  foreach(dir IN LISTS CMAKE_INSTALL_MANIFEST_FILES) # without DESTDIR
    cmake_path(GET dir PARENT_PATH dir)
    cmake_path(IS_PREFIX CMAKE_INSTALL_PREFIX "${dir}" NORMALIZE inside)
    while(inside)
      file(CHMOD "$ENV{DESTDIR}${dir}" DIRECTORY_PERMISSIONS ${TVK_DIRECTORY_MODE})
      cmake_path(GET dir PARENT_PATH dir)
      cmake_path(IS_PREFIX CMAKE_INSTALL_PREFIX "${dir}" NORMALIZE inside)
    endwhile()
  endforeach()
]])

include(${CMAKE_CURRENT_LIST_DIR}/demo.cmake)

# Debian package: `cpack -G DEB` in the build directory. The package holds the
# install tree under /opt/tovrek, and puts what the system looks for in /usr:
# the command tvkcombo on the PATH (an absolute link into the tree), the
# manual page, the bash completion, the copyright and changelog, and the
# lintian overrides. Build it from a dynamic launcher (-DTVK_STATIC=OFF), so
# that its Depends line names the C library it loads.
#
# The /usr part is made in the package's staging directory by a CPack script,
# not by install rules: `cmake --install` into a prefix of one's own must lay
# out the tree alone, without touching /usr.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tvkcombo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The tvkcombo developers")
set(CPACK_PACKAGE_CONTACT "The tvkcombo developers <tvkcombo@tovrek.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "launcher of the tovrek course authoring and playback program")
set(CPACK_PACKAGE_DESCRIPTION
    "Teachers run tvkcombo to author courses and students to play them back.
It finds the tovrek install tree, the user's locale, language and character
set, and the spell-checker to use, then starts the course program with
them, remembering the choices for the next run. Its help text is available
in English, French, German, Italian, Portuguese and Spanish.

This package installs the launcher in /opt/tovrek, with the command
tvkcombo on the PATH. The course program itself, /opt/tovrek/bin/tvkcombo.ovl,
comes separately.")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/tovrek)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Packaging revision: packaging/changelog must have an entry for
# <version>-<revision> at the top.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The architecture is left to CPack, which asks dpkg for the build machine's.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)

# Read by the layout script; the CPACK_ prefix carries them into the
# configuration that CPack hands to it.
set(CPACK_TVKCOMBO_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
find_program(CPACK_TVKCOMBO_GZIP gzip REQUIRED)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package-layout.cmake)

include(CPack)

# Debian package: `cpack -G DEB` in the build directory. The package holds the
# install tree under /opt/tovrek and links in /usr/bin and /usr/share/man that
# point into it.
#
# The links are added to the package's staging directory by a CPack script,
# not by install rules: `cmake --install` into a prefix of one's own must lay
# out the tree alone, without touching /usr.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tvkcombo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The tvkcombo developers")
set(CPACK_PACKAGE_CONTACT "The tvkcombo developers <tvkcombo@tovrek.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "course authoring and playback launcher")
set(CPACK_PACKAGE_DESCRIPTION
    "tvkcombo starts the course program of a tovrek install tree for teachers who
author courses and students who play them back. It finds the install tree,
the user's locale, language and codeset, and the spell-checker to use, and
hands them to the course program. Usage texts in German, English, Spanish,
French, Italian and Portuguese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/tovrek)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The architecture is left to CPack, which asks dpkg for the build machine's.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Relative targets, so that the links still work in a package unpacked with
# `dpkg-deb -x` into any directory. The CPACK_ prefix carries the list into
# the configuration that CPack hands to the script.
set(CPACK_TVKCOMBO_LINKS
    /usr/bin/tvkcombo=${CPACK_PACKAGING_INSTALL_PREFIX}/bin/tvkcombo
    /usr/share/man/man1/tvkcombo.1=${CPACK_PACKAGING_INSTALL_PREFIX}/share/man/man1/tvkcombo.1)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package-links.cmake)

include(CPack)

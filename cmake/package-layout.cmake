# Run by CPack once the tree is staged under /opt/tovrek: adds the package's
# files in /usr and leaves no empty directory behind. See package.cmake.

set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
set(tree ${root}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/usr/share/doc/${CPACK_PACKAGE_NAME})
set(version ${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

file(STRINGS ${CPACK_TVKCOMBO_PACKAGING_DIR}/changelog latest LIMIT_COUNT 1)
if(NOT latest MATCHES "^${CPACK_PACKAGE_NAME} \\(${version}\\) ")
  message(FATAL_ERROR "packaging/changelog has no entry for ${version} at the top: add one.")
endif()

file(MAKE_DIRECTORY ${root}/usr/bin ${root}/usr/share/man ${root}/usr/share/lintian/overrides
     ${doc})
# Absolute: the link crosses from /usr into /opt.
file(CREATE_LINK ${CPACK_PACKAGING_INSTALL_PREFIX}/bin/tvkcombo ${root}/usr/bin/tvkcombo SYMBOLIC)
file(RENAME ${tree}/share/man/man1 ${root}/usr/share/man/man1)
file(RENAME ${tree}/share/bash-completion ${root}/usr/share/bash-completion)
file(COPY_FILE ${CPACK_TVKCOMBO_PACKAGING_DIR}/copyright ${doc}/copyright)
file(COPY_FILE ${CPACK_TVKCOMBO_PACKAGING_DIR}/changelog ${doc}/changelog.Debian)
file(COPY_FILE ${CPACK_TVKCOMBO_PACKAGING_DIR}/lintian-overrides
     ${root}/usr/share/lintian/overrides/${CPACK_PACKAGE_NAME})
# -n: no name or time stamp in the header, so the same file gives the same bytes.
execute_process(COMMAND ${CPACK_TVKCOMBO_GZIP} -9n ${root}/usr/share/man/man1/tvkcombo.1
                        ${doc}/changelog.Debian
                COMMAND_ERROR_IS_FATAL ANY)

# Deepest first, so that a directory emptied on the way goes too: the
# overlay's installer makes lib/, which would be an empty directory here.
# Modes are set, not inherited, since a checkout or build under another umask
# must not give the package other ones; the tree's files have theirs from the
# install rules.
file(GLOB_RECURSE entries LIST_DIRECTORIES true ${root}/*)
list(SORT entries ORDER DESCENDING)
foreach(entry IN LISTS entries)
  if(IS_SYMLINK ${entry})
    continue()
  elseif(IS_DIRECTORY ${entry})
    file(GLOB content ${entry}/*)
    if(content)
      file(CHMOD ${entry} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                      GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    else()
      file(REMOVE_RECURSE ${entry})
    endif()
  else()
    string(FIND ${entry} ${root}/usr/ at)
    if(at EQUAL 0)
      file(CHMOD ${entry} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()
  endif()
endforeach()

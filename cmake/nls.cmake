# Usage catalogs: every nls/<language>.msg source (UTF-8) is checked, converted
# to each codeset and compiled into ${TVK_NLS_DIR}/<language>.combo.cat.<codeset>,
# the name under which the launcher looks for it.
# Sets TVK_NLS_DIR and TVK_CATALOGS; the target tvk_catalogs builds them all.

find_program(TVK_ICONV iconv REQUIRED)
find_program(TVK_GENCAT gencat REQUIRED)
find_program(TVK_LOCALEDEF localedef REQUIRED)

set(TVK_NLS_LANGUAGES ger eng spa fre ita por)
set(TVK_NLS_CODESETS UTF-8 ISO-8859-1 ISO-8859-15)
# The codeset that the C and POSIX locales report. Their language is always
# English, so only eng.msg, which is plain ASCII, is built for it.
set(TVK_NLS_ASCII_CODESET ANSI_X3.4-1968)

set(TVK_NLS_DIR ${CMAKE_BINARY_DIR}/nls)
set(tvk_nls_work ${CMAKE_BINARY_DIR}/nls-work)
set(tvk_nls_check ${CMAKE_CURRENT_LIST_DIR}/nls-check.cmake)
file(MAKE_DIRECTORY ${TVK_NLS_DIR} ${tvk_nls_work})

# gencat drops, with an error, every message holding a byte that is no
# character of the current locale's codeset, and passes each text through
# wide characters and back. Under an ISO-8859-1 locale every byte is a
# character and comes back unchanged, so one such locale serves every catalog
# (iconv has already checked each text against its own codeset). The machine
# need not have it installed: it is compiled into the build tree, once.
set(tvk_nls_locpath ${CMAKE_BINARY_DIR}/nls-locale)
set(tvk_nls_locale latin1)
set(tvk_nls_locale_file ${tvk_nls_locpath}/${tvk_nls_locale}/LC_CTYPE)
foreach(input locales/en_US charmaps/ISO-8859-1.gz)
  if(NOT EXISTS /usr/share/i18n/${input})
    message(FATAL_ERROR "The usage catalogs need /usr/share/i18n/${input}: install the Debian package 'locales'.")
  endif()
endforeach()
add_custom_command(
  OUTPUT ${tvk_nls_locale_file}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${tvk_nls_locpath}
  COMMAND ${TVK_LOCALEDEF} -c -i en_US -f ISO-8859-1 ${tvk_nls_locpath}/${tvk_nls_locale}
  COMMENT "Compiling an ISO-8859-1 locale for gencat"
  VERBATIM)

set(TVK_CATALOGS "")

# Converts and compiles the source of one language for one codeset.
function(tvk_nls_catalog language codeset)
  set(source ${CMAKE_SOURCE_DIR}/nls/${language}.msg)
  set(converted ${tvk_nls_work}/${language}.${codeset}.msg)
  set(catalog ${TVK_NLS_DIR}/${language}.combo.cat.${codeset})
  # --new: gencat would otherwise merge into the catalog of an earlier build,
  # keeping messages that the source no longer has.
  add_custom_command(
    OUTPUT ${catalog}
    COMMAND ${TVK_ICONV} -f UTF-8 -t ${codeset} -o ${converted} ${source}
    COMMAND ${CMAKE_COMMAND} -E env LOCPATH=${tvk_nls_locpath} LC_ALL=${tvk_nls_locale}
            ${TVK_GENCAT} --new -o ${catalog} ${converted}
    DEPENDS ${source} ${tvk_nls_work}/${language}.checked ${tvk_nls_locale_file}
    COMMENT "Compiling the usage catalog ${language}.combo.cat.${codeset}"
    VERBATIM)
  set(TVK_CATALOGS ${TVK_CATALOGS} ${catalog} PARENT_SCOPE)
endfunction()

foreach(language IN LISTS TVK_NLS_LANGUAGES)
  set(source ${CMAKE_SOURCE_DIR}/nls/${language}.msg)
  add_custom_command(
    OUTPUT ${tvk_nls_work}/${language}.checked
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${source} -DSTAMP=${tvk_nls_work}/${language}.checked
            -DCOUNT=${TVK_USAGE_MESSAGES} -P ${tvk_nls_check}
    DEPENDS ${source} ${tvk_nls_check}
    COMMENT "Checking the usage messages of nls/${language}.msg"
    VERBATIM)
  foreach(codeset IN LISTS TVK_NLS_CODESETS)
    tvk_nls_catalog(${language} ${codeset})
  endforeach()
endforeach()
tvk_nls_catalog(eng ${TVK_NLS_ASCII_CODESET})

add_custom_target(tvk_catalogs ALL DEPENDS ${TVK_CATALOGS})

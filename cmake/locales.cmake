# Test locales compiled with localedef into the build tree. Tests point LOCPATH
# at this directory, so they depend neither on the machine's generated locales
# nor on the system locale archive.
set(TVK_TEST_LOCPATH ${CMAKE_BINARY_DIR}/locales)

set(TVK_I18N_DIR /usr/share/i18n)

# name, locale source, charmap. Names that are not real locales exercise the
# launcher's language lookup: case, three-letter parts, unknown codes, a
# withdrawn country, and plain words that only the alias file can resolve.
set(TVK_TEST_LOCALES
    # name        source        charmap
    fr_FR         fr_FR         ISO-8859-1
    fr_FR.UTF-8   fr_FR         UTF-8
    fr_CA.UTF-8   fr_CA         UTF-8
    en_US         en_US         ISO-8859-1
    en_US.UTF-8   en_US         UTF-8
    en_GB         en_GB         ISO-8859-1
    en_GB.UTF-8   en_GB         UTF-8
    en_UK         en_GB         ISO-8859-1
    es_ES         es_ES         ISO-8859-1
    es_ES.UTF-8   es_ES         UTF-8
    es_MX.UTF-8   es_MX         UTF-8
    de_DE         de_DE         ISO-8859-1
    de_DE.UTF-8   de_DE         UTF-8
    de_DE@euro    de_DE@euro    ISO-8859-15
    it_IT         it_IT         ISO-8859-1
    it_IT.UTF-8   it_IT         UTF-8
    pt_PT         pt_PT         ISO-8859-1
    pt_PT.UTF-8   pt_PT         UTF-8
    EN_US         en_US         ISO-8859-1
    deu_DE        de_DE         ISO-8859-1
    fra_FR        fr_FR         ISO-8859-1
    xyz_XY        en_US         ISO-8859-1
    xx_XX         en_US         ISO-8859-1
    sr_YU         sr_RS         UTF-8
    tovrekish     fr_FR         UTF-8
    tovrekese     de_DE         UTF-8)

find_program(TVK_LOCALEDEF localedef REQUIRED)

set(TVK_TEST_LOCALE_OUTPUTS)
list(LENGTH TVK_TEST_LOCALES tvk_locale_fields)
math(EXPR tvk_locale_last "${tvk_locale_fields} - 1")
foreach(tvk_index RANGE 0 ${tvk_locale_last} 3)
  list(SUBLIST TVK_TEST_LOCALES ${tvk_index} 3 tvk_entry)
  list(GET tvk_entry 0 tvk_name)
  list(GET tvk_entry 1 tvk_source)
  list(GET tvk_entry 2 tvk_charmap)

  set(tvk_source_file ${TVK_I18N_DIR}/locales/${tvk_source})
  set(tvk_charmap_file ${TVK_I18N_DIR}/charmaps/${tvk_charmap}.gz)
  foreach(tvk_input ${tvk_source_file} ${tvk_charmap_file})
    if(NOT EXISTS ${tvk_input})
      message(FATAL_ERROR "Test locale ${tvk_name} needs ${tvk_input}, which is missing: "
                          "install the Debian package 'locales'.")
    endif()
  endforeach()

  # With -c, localedef exits non-zero on mere warnings (some charmaps lack
  # characters the source names) although it writes the locale; the locale
  # counts as built when its LC_CTYPE exists. The old directory goes first, so
  # a failed run cannot leave a stale one behind.
  set(tvk_dir ${TVK_TEST_LOCPATH}/${tvk_name})
  add_custom_command(
    OUTPUT ${tvk_dir}/LC_CTYPE
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${tvk_dir}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TVK_TEST_LOCPATH}
    COMMAND sh -c "\"$0\" -c -i \"$1\" -f \"$2\" \"$3\" || test -f \"$3/LC_CTYPE\""
            ${TVK_LOCALEDEF} ${tvk_source} ${tvk_charmap} ${tvk_dir}
    DEPENDS ${tvk_source_file} ${tvk_charmap_file}
    COMMENT "Compiling test locale ${tvk_name}"
    VERBATIM)
  list(APPEND TVK_TEST_LOCALE_OUTPUTS ${tvk_dir}/LC_CTYPE)
endforeach()

add_custom_target(tvk_test_locales DEPENDS ${TVK_TEST_LOCALE_OUTPUTS})

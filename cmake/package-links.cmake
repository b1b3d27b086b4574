# Run by CPack once the package's files are staged: adds each link of
# CPACK_TVKCOMBO_LINKS (entries "<link>=<target>", both absolute paths inside the
# package) as a symbolic link with a relative target.

foreach(entry IN LISTS CPACK_TVKCOMBO_LINKS)
  string(REPLACE "=" ";" link_and_target "${entry}")
  list(GET link_and_target 0 link)
  list(GET link_and_target 1 target)
  get_filename_component(link_dir ${link} DIRECTORY)
  file(RELATIVE_PATH relative_target ${link_dir} ${target})
  set(staged_link ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${link})
  get_filename_component(staged_dir ${staged_link} DIRECTORY)
  file(MAKE_DIRECTORY ${staged_dir})
  file(CREATE_LINK ${relative_target} ${staged_link} SYMBOLIC)
endforeach()

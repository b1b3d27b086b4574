# Lays out a fresh demo install tree and runs the launcher in it.
#   cmake -DLAUNCHER=<tvkcombo> -DOVERLAY=<tvkcombo.ovl> -DSTAMP=<ver stamp>
#         -DNLS_DIR=<catalog directory> -DDEMO_DIR=<dir> -P demo-run.cmake

set(tree ${DEMO_DIR}/opt/tovrek)
set(home ${DEMO_DIR}/home)

file(REMOVE_RECURSE ${DEMO_DIR})
file(MAKE_DIRECTORY ${tree}/lib ${home})
file(COPY ${LAUNCHER} ${OVERLAY} DESTINATION ${tree}/bin)
file(COPY ${STAMP} DESTINATION ${tree}/ver)
file(COPY ${NLS_DIR}/ DESTINATION ${tree}/nls)

# The launcher is found through PATH like an installed one, and keeps its rc
# file in a private HOME. TOVREK_ROOT would override the tree's own root.
set(ENV{HOME} ${home})
set(ENV{PATH} "${tree}/bin:/usr/bin:/bin")
unset(ENV{LANG})
unset(ENV{TOVREK_ROOT})

foreach(arguments IN ITEMS "-h" "-i algebra" "--diagnose -a algebra" "-p algebra")
  message(NOTICE "\n==> tvkcombo ${arguments}")
  separate_arguments(argument_list UNIX_COMMAND "${arguments}")
  execute_process(COMMAND tvkcombo ${argument_list}
                  WORKING_DIRECTORY ${DEMO_DIR}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "tvkcombo ${arguments} ended with status ${status}")
  endif()
endforeach()

# Renders a manual page the way a user's man does and fails on any warning of
# the formatter, since man itself exits 0 whatever the page holds. Warning
# category "w" is every one; groff's "all" leaves out undefined macros. Then
# mandoc's lint must find nothing above style notes: it reads the page as
# other systems' man would, and it parses the date.
#   cmake -DPAGE=<file.1> -P man-check.cmake
#
# The verdict depends on the page alone: not on the clock, the caller's
# environment or the system's sandboxing. mandoc warns of a date more than a
# day ahead of the machine's clock, so a page dated for a release, or a
# machine whose clock is behind, would fail for a while and then pass; that
# one warning is left out. man and groff read options from MANOPT, MANROFFOPT
# and their like, and PIPELINE_DEBUG writes to standard error, where this
# check looks for warnings. man-db runs the formatter in a seccomp sandbox
# that refuses system calls outside its list, which differ with the C
# library, kernel and preloaded tools of the machine; the page is ours, so
# the sandbox guards nothing here.

foreach(tool IN ITEMS man:man-db mandoc:mandoc)
  string(REPLACE ":" ";" tool ${tool})
  list(GET tool 0 name)
  list(GET tool 1 package)
  find_program(${name}_program ${name} NO_CACHE)
  if(NOT ${name}_program)
    message(FATAL_ERROR "${name} is missing, which checks ${PAGE}: install the Debian package ${package}")
  endif()
endforeach()

foreach(variable MANOPT MANROFFOPT MANROFFSEQ MAN_KEEP_FORMATTING MAN_KEEP_STDERR PIPELINE_DEBUG
                 GROFF_TMAC_PATH GROFF_FONT_PATH GROFF_TYPESETTER)
  unset(ENV{${variable}})
endforeach()
set(ENV{MAN_DISABLE_SECCOMP} 1)
# A fixed width and codeset, so that line-breaking warnings do not depend on
# the terminal or locale of whoever runs the check.
set(ENV{LC_ALL} C.UTF-8)
set(ENV{MANWIDTH} 80)
execute_process(
  COMMAND "${man_program}" --warnings=w --local-file --encoding=UTF-8 "${PAGE}"
  OUTPUT_QUIET
  ERROR_VARIABLE warnings
  RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "${PAGE} does not render cleanly (status ${status}):\n${warnings}")
endif()

# Status 2 stands for warnings, which are all in the output.
execute_process(
  COMMAND "${mandoc_program}" -T lint -W warning "${PAGE}"
  OUTPUT_VARIABLE warnings
  ERROR_VARIABLE warnings
  RESULT_VARIABLE status)
string(REGEX REPLACE "[^\n]*: WARNING: date in the future, using it anyway: [^\n]*\n" "" warnings "${warnings}")
if(NOT status MATCHES "^[02]$" OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "mandoc finds fault with ${PAGE} (status ${status}):\n${warnings}")
endif()

# Renders a manual page the way a user's man does and fails on any warning of
# the formatter, since man itself exits 0 whatever the page holds. Warning
# category "w" is every one; groff's "all" leaves out undefined macros. When
# mandoc is given too, its lint must find nothing above style notes: it reads
# the page as other systems' man would, and it parses the date.
#   cmake -DMAN=<man program> [-DMANDOC=<mandoc program>] -DPAGE=<file.1> -P man-check.cmake

if(NOT MAN)
  message(FATAL_ERROR "man was not found; install man-db to check ${PAGE}")
endif()

# A fixed width and codeset, so that line-breaking warnings do not depend on
# the terminal or locale of whoever runs the check.
set(ENV{LC_ALL} C.UTF-8)
set(ENV{MANWIDTH} 80)
execute_process(
  COMMAND "${MAN}" --warnings=w --local-file --encoding=UTF-8 "${PAGE}"
  OUTPUT_QUIET
  ERROR_VARIABLE warnings
  RESULT_VARIABLE status)

if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "${PAGE} does not render cleanly (status ${status}):\n${warnings}")
endif()

if(MANDOC)
  execute_process(
    COMMAND "${MANDOC}" -T lint -W warning "${PAGE}"
    OUTPUT_VARIABLE warnings
    ERROR_VARIABLE warnings
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "mandoc finds fault with ${PAGE} (status ${status}):\n${warnings}")
  endif()
endif()

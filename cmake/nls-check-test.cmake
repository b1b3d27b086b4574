# Feeds nls-check.cmake message sources that each break one rule, and some
# that only look odd, and fails unless it refuses exactly the broken ones.
#   cmake -DCHECK=<nls-check.cmake> -DWORK_DIR=<dir> -P nls-check-test.cmake

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

set(sound "$quote \"\n$set 1\n1 \"  usage: %s\\n\"\n")
foreach(number RANGE 2 13)
  string(APPEND sound "${number} \"  text ${number}\\n\"\n")
endforeach()

set(failures "")

# Runs the check on `content` and records a failure unless it accepts the
# source exactly when `expected` is "accepted".
function(expect case expected content)
  set(source ${WORK_DIR}/${case}.msg)
  set(stamp ${WORK_DIR}/${case}.checked)
  file(WRITE ${source} "${content}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE=${source} -DSTAMP=${stamp} -P ${CHECK}
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(status EQUAL 0 AND EXISTS ${stamp})
    set(outcome accepted)
  elseif(NOT status EQUAL 0 AND NOT EXISTS ${stamp})
    set(outcome refused)
  else()
    set(outcome "inconsistent (status ${status})")
  endif()
  if(NOT outcome STREQUAL expected)
    set(failures "${failures}\n  ${case}: expected ${expected}, was ${outcome}" PARENT_SCOPE)
  endif()
endfunction()

expect(sound accepted "${sound}")

string(REPLACE "text 6" "a;b [c text 6" content "${sound}")
expect(semicolon_and_bracket accepted "${content}")

string(REPLACE "6 \"  text 6\\n\"" "$ a comment\n$set 2\n6 \"%d\\n\"\n$set 1\n6 \"  text 6\\n\"" content "${sound}")
expect(percent_in_another_set accepted "${content}")

string(REPLACE "text 3" "text \\\ncontinued" content "${sound}")
expect(continued_line accepted "${content}")

string(REPLACE "usage: %s" "usage: %s %d" content "${sound}")
expect(second_conversion refused "${content}")

string(REPLACE "usage: %s" "usage: %d" content "${sound}")
expect(conversion_not_s refused "${content}")

string(REPLACE "usage: %s" "usage: name" content "${sound}")
expect(no_conversion refused "${content}")

string(REPLACE "text 7" "100% text 7" content "${sound}")
expect(percent_in_later_message refused "${content}")

string(REPLACE "12 \"  text 12\\n\"\n" "" content "${sound}")
expect(missing_message refused "${content}")

string(REPLACE "13 \"" "$set 2\n13 \"" content "${sound}")
expect(message_in_another_set refused "${content}")

string(REPLACE "text 5" "\\045d text 5" content "${sound}")
expect(octal_escape refused "${content}")

string(REPLACE "text 9\\n" "text 9" content "${sound}")
expect(no_final_newline refused "${content}")

string(REPLACE "text 4\\n" "text 4\\\\n" content "${sound}")
expect(escaped_backslash_before_n refused "${content}")


if(failures)
  message(FATAL_ERROR "nls-check.cmake misjudged:${failures}")
endif()

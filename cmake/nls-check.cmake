# Checks a gencat message source before it is compiled into a usage catalog.
#   cmake -DSOURCE=<file.msg> -DSTAMP=<file> -DCOUNT=<messages> -P nls-check.cmake
# The launcher prints message 1 with the program name as its only argument and
# the others (to COUNT, the number CMakeLists.txt sets) as formats without arguments, so a stray "%" would make it
# read arguments that do not exist. Writes STAMP when the source is sound.

cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED SOURCE OR NOT DEFINED STAMP OR NOT DEFINED COUNT)
  message(FATAL_ERROR "usage: cmake -DSOURCE=<file.msg> -DSTAMP=<file> -DCOUNT=<messages> -P nls-check.cmake")
endif()

set(usage_set 1)

file(READ "${SOURCE}" content)
# Stands for an escaped backslash, so that "\\n" is not mistaken for "\n".
string(ASCII 1 escaped_backslash)

set(quote "")
set(current_set "")
set(errors "")

# Lines are cut out one by one rather than turned into a list: message texts
# may hold ";" and unbalanced brackets, which CMake lists treat specially.
macro(next_line out)
  string(FIND "${content}" "\n" newline)
  if(newline EQUAL -1)
    set(${out} "${content}")
    set(content "")
  else()
    string(SUBSTRING "${content}" 0 ${newline} ${out})
    math(EXPR rest_start "${newline} + 1")
    string(SUBSTRING "${content}" ${rest_start} -1 content)
  endif()
endmacro()

# True when the text ends in an odd number of backslashes, i.e. in one that
# escapes the line end rather than in escaped backslashes.
function(ends_in_escape text result)
  set(count 0)
  if(text MATCHES "(\\\\+)$")
    string(LENGTH "${CMAKE_MATCH_1}" count)
  endif()
  math(EXPR odd "${count} % 2")
  set(${result} ${odd} PARENT_SCOPE)
endfunction()

while(NOT content STREQUAL "")
  next_line(line)
  # A backslash at the end of a line continues the message on the next one.
  ends_in_escape("${line}" continued)
  while(continued AND NOT content STREQUAL "")
    string(REGEX REPLACE "\\\\$" "" line "${line}")
    next_line(continuation)
    string(APPEND line "${continuation}")
    ends_in_escape("${line}" continued)
  endwhile()

  if(line MATCHES "^\\$set[ \t]+([0-9]+)")
    math(EXPR current_set "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^\\$quote[ \t]+(.)")
    set(quote "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^\\$quote")
    set(quote "")
  elseif(line MATCHES "^[ \t]*([0-9]+)[ \t]?(.*)$" AND current_set STREQUAL usage_set)
    math(EXPR number "${CMAKE_MATCH_1}")
    set(text "${CMAKE_MATCH_2}")
    if(text STREQUAL "")
      # A number alone deletes the message.
      unset(message_${number})
    else()
      if(NOT quote STREQUAL "")
        string(LENGTH "${text}" length)
        string(SUBSTRING "${text}" 0 1 first)
        math(EXPR last_index "${length} - 1")
        string(SUBSTRING "${text}" ${last_index} 1 last)
        if(first STREQUAL quote)
          string(SUBSTRING "${text}" 1 -1 text)
          if(length GREATER 1 AND last STREQUAL quote)
            math(EXPR inner "${length} - 2")
            string(SUBSTRING "${text}" 0 ${inner} text)
          endif()
        endif()
      endif()
      set(message_${number} "${text}")
    endif()
  endif()
endwhile()

foreach(number RANGE 1 ${COUNT})
  set(where "${SOURCE}: set ${usage_set}, message ${number}")
  if(NOT DEFINED message_${number})
    list(APPEND errors "${where} is missing")
    continue()
  endif()
  string(REPLACE "\\\\" "${escaped_backslash}" text "${message_${number}}")
  string(REGEX MATCHALL "%" percents "${text}")
  list(LENGTH percents percent_count)
  if(number EQUAL 1)
    if(NOT percent_count EQUAL 1 OR NOT text MATCHES "%s")
      list(APPEND errors "${where} must hold exactly one %s (the program name) and no other %")
    endif()
  elseif(percent_count GREATER 0)
    list(APPEND errors "${where} must not hold any %")
  endif()
  # An octal escape could spell a "%" that the checks above do not see.
  if(text MATCHES "\\\\[0-7]")
    list(APPEND errors "${where} uses an octal escape (write the character itself)")
  endif()
  if(NOT text MATCHES "\\\\n$")
    list(APPEND errors "${where} does not end in a newline (\\n)")
  endif()
endforeach()

if(errors)
  list(JOIN errors "\n" report)
  message(FATAL_ERROR "${report}")
endif()
file(TOUCH "${STAMP}")

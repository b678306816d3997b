# The manual pages: each one must format without a single groff warning,
# every page a SEE ALSO names must be one of them, and xrackmon(1) must
# describe every option the program parses and every resource its
# app-defaults file sets.
#   cmake -DGROFF=... -DPAGES=a.1|b.5 -DOPTIONS_SOURCE=... -DAPP_DEFAULTS=... -P manual_pages.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" PAGES "${PAGES}")
set(failures "")

set(known_pages "")
foreach(page IN LISTS PAGES)
  get_filename_component(file_name ${page} NAME)
  string(REGEX REPLACE "^(.*)\\.([1-8])$" "\\1(\\2)" reference "${file_name}")
  list(APPEND known_pages "${reference}")
endforeach()

foreach(page IN LISTS PAGES)
  get_filename_component(file_name ${page} NAME)
  execute_process(COMMAND ${GROFF} -ww -z -man ${page}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
    string(APPEND failures "${file_name}: groff says:\n${out}${err}\n")
  endif()
  file(STRINGS ${page} references REGEX "^\\.BR [A-Za-z0-9_.]+ \\([1-8]\\)")
  foreach(line IN LISTS references)
    string(REGEX REPLACE "^\\.BR ([A-Za-z0-9_.]+) \\(([1-8])\\).*" "\\1(\\2)" reference "${line}")
    if(NOT reference IN_LIST known_pages)
      string(APPEND failures "${file_name}: refers to ${reference}, which is not among the pages\n")
    endif()
  endforeach()
  if(file_name STREQUAL "xrackmon.1")
    file(READ ${page} xrackmon_page)
  endif()
endforeach()

if(NOT DEFINED xrackmon_page)
  string(APPEND failures "xrackmon.1 is not among the pages\n")
endif()

# Options: the letters of the option string the program hands to getopt.
file(STRINGS ${OPTIONS_SOURCE} option_lines REGEX "kOptionString = \"")
string(REGEX REPLACE ".*kOptionString = \"\\+?([A-Za-z:]+)\".*" "\\1" option_string "${option_lines}")
string(REPLACE ":" "" letters "${option_string}")
if(letters STREQUAL "" OR letters MATCHES "[^A-Za-z]")
  string(APPEND failures "no option string found in ${OPTIONS_SOURCE}\n")
else()
  string(LENGTH "${letters}" count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(SUBSTRING "${letters}" ${i} 1 letter)
    if(NOT xrackmon_page MATCHES "\n\\.BI? \\\\-${letter}[ \n]")
      string(APPEND failures "xrackmon.1: option -${letter} is not described\n")
    endif()
  endforeach()
endif()

# Resources: every widget or resource name the app-defaults file sets.
file(STRINGS ${APP_DEFAULTS} resource_lines REGEX "^Xrackmon\\*")
if(resource_lines STREQUAL "")
  string(APPEND failures "no resources found in ${APP_DEFAULTS}\n")
endif()
foreach(line IN LISTS resource_lines)
  string(REGEX REPLACE "^(Xrackmon\\*[A-Za-z_]+).*" "\\1" resource "${line}")
  string(FIND "${xrackmon_page}" "${resource}" at)
  if(at EQUAL -1)
    string(APPEND failures "xrackmon.1: resource ${resource} is not described\n")
  endif()
endforeach()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${failures}")
endif()

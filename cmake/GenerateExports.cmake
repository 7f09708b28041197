# cmake -DNM=<nm> -DARCHIVE=<bridge library> -DOUTPUT=<def file> -DPROCESSOR=<i686|x86_64>
#       -P GenerateExports.cmake
# Writes the module-definition file that exports every FT_* function the archive defines.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} --defined-only -g ${ARCHIVE}
  OUTPUT_VARIABLE _symbols RESULT_VARIABLE _result)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${ARCHIVE}")
endif()

# i686 C symbols carry a leading underscore; stdcall ones also carry @<argument bytes>.
string(REGEX MATCHALL "[ \t]T[ \t]+_?FT_[A-Za-z0-9_]+(@[0-9]+)?" _lines "${_symbols}")
set(_names)
foreach(_line IN LISTS _lines)
  string(REGEX REPLACE ".*[ \t]T[ \t]+" "" _symbol "${_line}")
  if(PROCESSOR MATCHES "^i[3-6]86$")
    string(REGEX REPLACE "^_" "" _symbol "${_symbol}")
    if(NOT _symbol MATCHES "@[0-9]+$")
      message(FATAL_ERROR "${_symbol} is not a stdcall function")
    endif()
    # "internal == exported": the DLL exports _FT_Open@8 and the import library offers the
    # symbol a stdcall caller refers to.
    list(APPEND _names "${_symbol} == _${_symbol}")
  else()
    list(APPEND _names "${_symbol}")
  endif()
endforeach()
list(REMOVE_DUPLICATES _names)
list(SORT _names)
list(LENGTH _names _count)
if(_count EQUAL 0)
  message(FATAL_ERROR "no FT_* functions in ${ARCHIVE}")
endif()

list(JOIN _names "\n  " _body)
set(_text "EXPORTS\n  ${_body}\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} _old)
endif()
if(NOT "${_old}" STREQUAL "${_text}")
  file(WRITE ${OUTPUT} "${_text}")
endif()

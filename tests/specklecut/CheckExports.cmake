# Fails unless RemoveSmallRegion is the only symbol that LIBRARY defines in its dynamic
# symbol table (the loader's _init/_fini aside), and it is a function.
# Usage: cmake -DNM=<nm> -DLIBRARY=<lib.so> -P CheckExports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}: ${err}")
endif()
string(REPLACE "\n" ";" lines "${out}")
set(exported "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^@ ]+)")
    set(type ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    if(name STREQUAL "_init" OR name STREQUAL "_fini")
      continue()
    endif()
    list(APPEND exported "${type} ${name}")
  endif()
endforeach()
if(NOT exported STREQUAL "T RemoveSmallRegion")
  message(FATAL_ERROR "${LIBRARY} must export only the function RemoveSmallRegion; it defines:\n${out}")
endif()
message(STATUS "Exported: ${exported}")

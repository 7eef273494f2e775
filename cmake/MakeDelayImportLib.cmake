# Script mode: makes a delay-load import library from a MinGW import library.
#   cmake -DNM=<nm> -DDLLTOOL=<dlltool> -DIMPORT_LIB=<libfoo.a> -DDLL=<FOO.dll>
#         -DMACHINE=<i386|i386:x86-64> -DOUT=<libfoo-delay.a> -P MakeDelayImportLib.cmake
# Every function of the import library (a code thunk "Name" beside its
# "__imp_Name" pointer) goes into a .def file, which dlltool turns into a
# delay-load library: the DLL is then loaded at the first call, through
# LoadLibrary and so through the search order the program has set by then.
execute_process(COMMAND ${NM} ${IMPORT_LIB} OUTPUT_VARIABLE symbols ERROR_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm ${IMPORT_LIB} failed")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(code "")
set(pointers "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]+ T (.+)$")
    list(APPEND code "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^[0-9a-fA-F]+ I __imp_(.+)$")
    list(APPEND pointers "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(REMOVE_DUPLICATES code)
set(def "LIBRARY ${DLL}\nEXPORTS\n")
foreach(name IN LISTS code)
  list(FIND pointers "${name}" found)
  if(found EQUAL -1)
    continue()
  endif()
  # 32-bit names carry the C underscore, which the .def file leaves out.
  if(MACHINE STREQUAL "i386")
    string(REGEX REPLACE "^_" "" name "${name}")
  endif()
  string(APPEND def "  ${name}\n")
endforeach()
file(WRITE "${OUT}.def" "${def}")
set(kill_at "")
if(MACHINE STREQUAL "i386")
  set(kill_at --kill-at)  # import by the undecorated name, as the DLL exports it
endif()
execute_process(COMMAND ${DLLTOOL} -m ${MACHINE} ${kill_at} --input-def "${OUT}.def" --dllname ${DLL}
                        --output-delaylib "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dlltool failed for ${DLL}")
endif()

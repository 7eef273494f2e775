# Compiler settings shared by every target, and the registration of Windows
# tests that the native build's ctest runs through Wine.

add_compile_options(-Wall -Wextra -Werror)
include_directories(${CMAKE_SOURCE_DIR})

if(WIN32)
  # Vista is the oldest system the installer runs on; Unicode Win32 calls.
  add_compile_definitions(_WIN32_WINNT=0x0600 WINVER=0x0600 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN
                          __USE_MINGW_ANSI_STDIO=1)
  # System functions are called through their import library's jump stub,
  # not straight through the __imp_ pointer (dllimport). In a delay-load
  # library the stub's section also holds the code that loads the DLL on
  # first use, which the pointer starts out pointing at; GNU ld's i386 PE
  # link drops jump stubs nobody calls, and with them that code, leaving the
  # pointer 0. Calling the stub keeps it. (tests/tools/pe_imports_check.py
  # reads every slot of the built programs.)
  add_compile_definitions(DECLSPEC_IMPORT=)
  # No MinGW runtime DLL may be needed beside an executable (zlib: see
  # payload/CMakeLists.txt).
  add_link_options(-static -static-libgcc -static-libstdc++)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(QRN_WINE_ARCH 32)
  else()
    set(QRN_WINE_ARCH 64)
  endif()
endif()

# qrn_add_test(<target> [EXCLUSIVE] [WRAPPER <program>] [NAME <test name>] [LOCK <resource>...])
# NAME registers one program a second time under another name (its wrapper
# tells it which cases to run).
# Native: a plain ctest test. Windows: recorded for the native build's ctest,
# which runs the executable under Wine in the test prefixes. EXCLUSIVE tests
# change machine-wide state of a prefix (services, drivers, shared registry
# keys) and never run beside another test of that prefix. WRAPPER names a
# program that runs the test command as its arguments, e.g. to start and stop
# a server the test talks to. LOCK names a resource of the machine (a fixed
# port, say) that no two runs of such tests may hold at once, in any prefix;
# "display" is the X display all prefixes share: tests that look at or click
# on windows hold it, or the two prefixes' windows cover each other.
function(qrn_add_test target)
  cmake_parse_arguments(ARG "EXCLUSIVE" "WRAPPER;NAME" "LOCK" ${ARGN})
  string(REPLACE ";" "," ARG_LOCK "${ARG_LOCK}")
  if(NOT ARG_NAME)
    set(ARG_NAME ${target})
  endif()
  if(NOT WIN32)
    add_test(NAME native:${ARG_NAME} COMMAND ${ARG_WRAPPER} $<TARGET_FILE:${target}>)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY QRN_WINDOWS_TESTS "${ARG_NAME}|${target}|${ARG_EXCLUSIVE}|${ARG_WRAPPER}|${ARG_LOCK}")
endfunction()

function(qrn_write_windows_test_list)
  if(NOT WIN32)
    return()
  endif()
  get_property(tests GLOBAL PROPERTY QRN_WINDOWS_TESTS)
  set(content "# Generated: Windows tests of the ${QRN_WINE_ARCH}-bit build.\n")
  # 32-bit programs run in both prefixes; 64-bit ones only in the 64-bit prefix.
  if(QRN_WINE_ARCH EQUAL 32)
    set(prefixes win32 win64)
  else()
    set(prefixes win64)
  endif()
  foreach(entry IN LISTS tests)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 test_name)
    list(GET parts 1 target)
    list(GET parts 2 exclusive)
    list(GET parts 3 wrapper)
    list(GET parts 4 lock)
    set(command "")
    if(wrapper)
      set(command "\"${wrapper}\" ")
    endif()
    foreach(prefix IN LISTS prefixes)
      set(name "${prefix}/x${QRN_WINE_ARCH}:${test_name}")
      string(APPEND content "add_test(\"${name}\" ${command}\"${QRN_WINE_RUN}\" ${prefix} \"$<TARGET_FILE:${target}>\")\n")
      set(props "SKIP_RETURN_CODE 77 TIMEOUT 900 LABELS windows")
      set(locks "")
      if(exclusive)
        list(APPEND locks prefix-${prefix})
      endif()
      if(lock)
        string(REPLACE "," ";" lock_list "${lock}")
        list(APPEND locks ${lock_list})
      endif()
      if(locks)
        string(APPEND props " RESOURCE_LOCK \"${locks}\"")
      endif()
      string(APPEND content "set_tests_properties(\"${name}\" PROPERTIES ${props})\n")
    endforeach()
  endforeach()
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/qrn-windows-tests.cmake" CONTENT "${content}")
endfunction()

# qrn_system_dlls: the system DLLs of the installer's code as delay-load
# libraries. Libraries that call user32, gdi32, shell32, shlwapi, ole32,
# advapi32 or wininet link this target instead of naming those DLLs (add a
# DLL to QRN_DELAYED_DLLS before using it), so that an
# executable imports at load time only kernel32 and msvcrt; the rest is
# loaded at first use, after the program has restricted the DLL search to
# the system folder (app/DllSearch.h says why).
if(WIN32)
  set(QRN_DELAYED_DLLS user32 gdi32 shell32 shlwapi ole32 advapi32 wininet)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(machine i386)
  else()
    set(machine i386:x86-64)
  endif()
  set(delay_libs "")
  foreach(dll IN LISTS QRN_DELAYED_DLLS)
    set(out "${CMAKE_BINARY_DIR}/delayimp/lib${dll}-delay.a")
    set(import_lib "${CMAKE_FIND_ROOT_PATH}/lib/lib${dll}.a")
    if(NOT EXISTS "${out}" OR "${import_lib}" IS_NEWER_THAN "${out}")
      file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/delayimp")
      execute_process(COMMAND ${CMAKE_COMMAND} -DNM=${QRN_MINGW_TRIPLE}-nm -DDLLTOOL=${QRN_MINGW_TRIPLE}-dlltool
                              -DIMPORT_LIB=${import_lib} -DDLL=${dll}.dll -DMACHINE=${machine} -DOUT=${out}
                              -P ${CMAKE_CURRENT_LIST_DIR}/MakeDelayImportLib.cmake
                      RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR "cannot make the delay-load library of ${dll}")
      endif()
    endif()
    list(APPEND delay_libs "${out}")
  endforeach()
  add_library(qrn_system_dlls INTERFACE)
  target_link_libraries(qrn_system_dlls INTERFACE ${delay_libs})
endif()

# Fails the build unless the 32-bit release is what may ship: the two files
# together under 1 MiB, stripped, both 32-bit, the program a GUI program
# whose manifest asks for administrator rights, the library exporting its two
# plain names, and both carrying this version.
# Usage: cmake -DOBJDUMP=... -DEXE=pw_gate.exe -DDLL=GetTime.dll -DVERSION=x.y.z -P CheckRelease.cmake
set(limit 1048576)
# Hex of an ASCII text in UTF-16LE, as file(READ HEX) spells it.
function(utf16_hex text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()
utf16_hex("FileVersion" fileVersion16)
utf16_hex("${VERSION}" version16)
set(total 0)
foreach(file IN ITEMS ${EXE} ${DLL})
  get_filename_component(name ${file} NAME)
  file(SIZE ${file} size)
  math(EXPR total "${total} + ${size}")
  string(APPEND sizes " ${name} ${size} +")

  execute_process(COMMAND ${OBJDUMP} -p -h ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${name} is not a 32-bit Windows image (objdump cannot read it)")
  endif()
  if(NOT dump MATCHES "\nMagic[ \t]+010b[ \t]+\\(PE32\\)")
    message(FATAL_ERROR "${name} is not a 32-bit (PE32) image")
  endif()
  if(dump MATCHES " \\.debug_" OR NOT dump MATCHES " \\.gnu_debuglink ")
    message(FATAL_ERROR "${name} is not stripped to a debug link")
  endif()

  # Version strings are UTF-16 and NUL-ended; the value follows its name, 32-bit aligned.
  file(READ ${file} bytes HEX)
  if(NOT bytes MATCHES "${fileVersion16}0000(0000)?${version16}0000")
    message(FATAL_ERROR "${name} carries no version resource with FileVersion ${VERSION}")
  endif()
endforeach()
string(REGEX REPLACE " \\+$" "" sizes "${sizes}")
if(total GREATER_EQUAL limit)
  message(FATAL_ERROR "The release is${sizes} = ${total} bytes, not under 1 MiB (${limit})")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump)
if(NOT dump MATCHES "\nSubsystem[ \t]+00000002[ \t]+\\(Windows GUI\\)")
  message(FATAL_ERROR "pw_gate.exe is not a Windows GUI program")
endif()
file(STRINGS ${EXE} levels REGEX "<requestedExecutionLevel ")
if(NOT levels MATCHES "level=\"requireAdministrator\"")
  message(FATAL_ERROR "pw_gate.exe's manifest does not ask for administrator rights (requireAdministrator)")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../gettime/CheckExports.cmake)

message(STATUS "release:${sizes} = ${total} bytes (< ${limit}); PE32, stripped, version ${VERSION}; "
               "Windows GUI, requireAdministrator; GetTime.dll exports GetTimeFromServer, UpdateSysTime")

# Fails the build unless the 32-bit release is what may ship: the program and
# its library together under 1 MiB and the service under 256 KiB (so that an
# installer of all three stays under 1 MiB), all three stripped, 32-bit and
# carrying this version, the program a GUI program whose manifest asks for
# administrator rights, and the library exporting its two plain names.
# With SETUP instead, the installer of the three: under 1 MiB, 32-bit and
# carrying this version.
# Usage: cmake -DOBJDUMP=... -DEXE=pw_gate.exe -DDLL=GetTime.dll -DSVC=pw_gate_svc.exe -DVERSION=x.y.z
#        -P CheckRelease.cmake
#        cmake -DOBJDUMP=... -DSETUP=pw_gate-x.y.z-setup.exe -DVERSION=x.y.z -P CheckRelease.cmake
set(limit 1048576)
set(service_limit 262144)
# Hex of an ASCII text in UTF-16LE, as file(READ HEX) spells it.
function(utf16_hex text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()
utf16_hex("FileVersion" fileVersion16)
utf16_hex("${VERSION}" version16)

function(check_pe32_with_version file)
  get_filename_component(name ${file} NAME)
  execute_process(COMMAND ${OBJDUMP} -p -h ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${name} is not a 32-bit Windows image (objdump cannot read it)")
  endif()
  if(NOT dump MATCHES "\nMagic[ \t]+010b[ \t]+\\(PE32\\)")
    message(FATAL_ERROR "${name} is not a 32-bit (PE32) image")
  endif()
  set(dump "${dump}" PARENT_SCOPE)
  # Version strings are UTF-16 and NUL-ended; the value follows its name, 32-bit aligned.
  file(READ ${file} bytes HEX)
  if(NOT bytes MATCHES "${fileVersion16}0000(0000)?${version16}0000")
    message(FATAL_ERROR "${name} carries no version resource with FileVersion ${VERSION}")
  endif()
endfunction()

if(DEFINED SETUP)
  get_filename_component(name ${SETUP} NAME)
  file(SIZE ${SETUP} size)
  if(size GREATER_EQUAL limit)
    message(FATAL_ERROR "${name} is ${size} bytes, not under 1 MiB (${limit})")
  endif()
  check_pe32_with_version(${SETUP})
  message(STATUS "installer: ${name} ${size} bytes (< ${limit}); PE32, version ${VERSION}")
  return()
endif()

set(total 0)
foreach(file IN ITEMS ${EXE} ${DLL} ${SVC})
  get_filename_component(name ${file} NAME)
  file(SIZE ${file} size)
  if(file STREQUAL "${SVC}")
    set(service_size ${size})
  else()
    math(EXPR total "${total} + ${size}")
    string(APPEND sizes " ${name} ${size} +")
  endif()

  check_pe32_with_version(${file})
  if(dump MATCHES " \\.debug_" OR NOT dump MATCHES " \\.gnu_debuglink ")
    message(FATAL_ERROR "${name} is not stripped to a debug link")
  endif()
endforeach()
string(REGEX REPLACE " \\+$" "" sizes "${sizes}")
if(total GREATER_EQUAL limit)
  message(FATAL_ERROR "The release is${sizes} = ${total} bytes, not under 1 MiB (${limit})")
endif()
if(service_size GREATER_EQUAL service_limit)
  message(FATAL_ERROR "pw_gate_svc.exe is ${service_size} bytes, not under 256 KiB (${service_limit})")
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

message(STATUS "release:${sizes} = ${total} bytes (< ${limit}), pw_gate_svc.exe ${service_size} bytes "
               "(< ${service_limit}); PE32, stripped, version ${VERSION}; "
               "Windows GUI, requireAdministrator; GetTime.dll exports GetTimeFromServer, UpdateSysTime")

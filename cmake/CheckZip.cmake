# Passes when the release zip holds exactly the pw_gate.exe, GetTime.dll and
# pw_gate_svc.exe of bin/, the files the 32-bit suite ran.
# Usage: cmake -DZIP=pw_gate-x.y.z-win32.zip -DBIN=bin -DWORK=dir -P CheckZip.cmake
file(REMOVE_RECURSE ${WORK})
file(ARCHIVE_EXTRACT INPUT ${ZIP} DESTINATION ${WORK})
file(GLOB packed RELATIVE ${WORK} ${WORK}/*)
list(SORT packed)
if(NOT packed STREQUAL "GetTime.dll;pw_gate.exe;pw_gate_svc.exe")
  message(FATAL_ERROR "${ZIP} holds ${packed}, not GetTime.dll, pw_gate.exe and pw_gate_svc.exe")
endif()
foreach(file IN LISTS packed)
  file(SHA256 ${WORK}/${file} zipped)
  file(SHA256 ${BIN}/${file} tested)
  if(NOT zipped STREQUAL tested)
    message(FATAL_ERROR "${file} in ${ZIP} is not the ${file} in ${BIN} that the tests ran")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
message(STATUS "${ZIP}: the pw_gate.exe, GetTime.dll and pw_gate_svc.exe the tests ran")

# Fails when a source names a header of a layer it does not stand on: the
# ground floor (common/) names nothing but itself; the time library
# (gettime/) and the core (core/) only the ground floor and themselves; the
# framework (app/framework/) the same, and the tray (tray/) the framework
# too; the program (app/, enforcement/, dialogs/) and the benchmarks any of
# them; the service (service/) the core and the ground floor; and nothing
# but the tests names anything in tests/. A header named without a folder is
# one beside the source or in a library it links.
# Usage: cmake -DSOURCE=<top of the tree> -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)
set(program "common;gettime;core;app/framework;tray;res;app;enforcement;dialogs")
set(layers common gettime core app/framework tray app enforcement dialogs service bench)
set(allowed_common "common")
set(allowed_gettime "common;gettime")
set(allowed_core "common;core")
set(allowed_app/framework "common;app/framework")
set(allowed_tray "common;app/framework;tray")
set(allowed_app "${program}")
set(allowed_enforcement "${program}")
set(allowed_dialogs "${program}")
set(allowed_service "common;core;service")
set(allowed_bench "common;gettime;res")

set(broken "")
set(files_read 0)
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE sources RELATIVE ${SOURCE} ${SOURCE}/${layer}/*.h ${SOURCE}/${layer}/*.cpp)
  foreach(source IN LISTS sources)
    # app/framework/ is a layer of its own, not part of app/.
    if(layer STREQUAL "app" AND source MATCHES "^app/framework/")
      continue()
    endif()
    math(EXPR files_read "${files_read} + 1")
    file(STRINGS ${SOURCE}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
      if(header MATCHES "^app/framework/")
        set(folder app/framework)
      elseif(header MATCHES "^([^/]+)/")
        set(folder ${CMAKE_MATCH_1})
      else()
        continue()
      endif()
      if(NOT folder IN_LIST allowed_${layer})
        string(APPEND broken "\n  ${source} includes \"${header}\" (${layer}/ stands on ${allowed_${layer}})")
      endif()
    endforeach()
  endforeach()
endforeach()
if(files_read EQUAL 0)
  message(FATAL_ERROR "no sources under ${SOURCE}")
endif()
if(broken)
  message(FATAL_ERROR "The layering is broken:${broken}")
endif()
message(STATUS "${files_read} sources, each including only what it stands on")

# The layer check: no file includes a header of a folder above its own.
#
#   cmake -DROOT=<source tree> -P scripts/CheckLayers.cmake
#
# Folders from the bottom up; a folder may include its own headers and those of
# the folders before it. The two front ends share the top and do not include
# each other. The simulator stands apart and shares only the maker library's
# header. The tests of a folder (tests/<folder>/) keep to the folder's place
# too, beside the shared test support and the simulator's helpers. Fails,
# naming every offending include, when a rule is broken.

cmake_minimum_required(VERSION 3.25)

set(ZV_LAYERS platform threading devices transport firmware flashing discovery core "shell|cli")
set(ZV_STANDALONE sim)
set(ZV_SIM_SHARED "transport/zvusb.h")
set(ZV_TEST_HELPERS support tests sim)

if(NOT ROOT)
  message(FATAL_ERROR "CheckLayers: give the source tree as -DROOT=...")
endif()

# The rank of every layered folder; folders of one rank are peers.
set(rank 0)
set(ZV_FOLDERS)
foreach(layer IN LISTS ZV_LAYERS)
  string(REPLACE "|" ";" peers "${layer}")
  foreach(folder IN LISTS peers)
    set(RANK_${folder} ${rank})
    list(APPEND ZV_FOLDERS ${folder})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

set(violations 0)

# Checks the quoted includes of every file under `dir` as a file of `folder`.
function(zv_check_folder dir folder testing)
  file(GLOB_RECURSE sources LIST_DIRECTORIES false RELATIVE ${ROOT}
    ${ROOT}/${dir}/*.h ${ROOT}/${dir}/*.cpp ${ROOT}/${dir}/*.in)
  foreach(source IN LISTS sources)
    file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" header "${line}")
      # A bare name is a neighbour in the same folder.
      if(NOT header MATCHES "/")
        continue()
      endif()
      string(REGEX REPLACE "/.*$" "" target "${header}")
      set(reason "")
      if(folder IN_LIST ZV_STANDALONE)
        if(NOT target STREQUAL folder AND NOT header IN_LIST ZV_SIM_SHARED)
          set(reason "${folder} shares only ${ZV_SIM_SHARED} with the loader")
        endif()
      elseif(testing AND target IN_LIST ZV_TEST_HELPERS)
      elseif(target IN_LIST ZV_STANDALONE OR NOT DEFINED RANK_${target})
        set(reason "${target} is not a layer of the loader")
      elseif(RANK_${target} GREATER RANK_${folder})
        set(reason "${target} is above ${folder}")
      elseif(RANK_${target} EQUAL RANK_${folder} AND NOT target STREQUAL folder)
        set(reason "${target} and ${folder} are peers")
      endif()
      if(reason)
        message(NOTICE "layer check: ${source} includes ${header}: ${reason}")
        math(EXPR violations "${violations} + 1")
      endif()
    endforeach()
  endforeach()
  set(violations ${violations} PARENT_SCOPE)
endfunction()

foreach(folder IN LISTS ZV_FOLDERS ZV_STANDALONE)
  zv_check_folder(${folder} ${folder} FALSE)
endforeach()
foreach(folder IN LISTS ZV_FOLDERS)
  zv_check_folder(tests/${folder} ${folder} TRUE)
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "layer check: ${violations} include(s) go up a layer; see the order in scripts/CheckLayers.cmake")
endif()

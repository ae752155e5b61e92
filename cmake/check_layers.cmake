# Fails when a source file of a layer includes a header of a layer above it.
#
#   cmake -DROOT=<source tree> -P check_layers.cmake
#
# The layers, lowest first: the runtime base (common/ and src/runtime, one
# object library), src/asn1, src/session, src/presentation, src/acse, src/rda,
# src/rdaclient, the two application boundaries src/odbc and src/jdbc, and
# admin/. A file may include from its own layer and the layers below; a
# layer reaches the one above it only through what that layer registered
# with it (callbacks, routine tables). Only quoted includes of the project
# are read; tests/, fuzz/ and bench/ tie the layers together and are not
# checked.
#
# One exception: the BER runtime's presentation-context entry points read
# the presentation connection record, so those two files may include that
# record's header (which brings what it includes along).

if(NOT ROOT)
  message(FATAL_ERROR "check_layers: ROOT is not set")
endif()

set(layer_dirs common src/runtime src/asn1 src/session src/presentation src/acse src/rda src/rdaclient
    src/odbc src/jdbc admin)
set(layer_rank 0 0 1 2 3 4 5 6 7 7 8)

set(allowed_upward
    "src/asn1/ber_context.cpp|src/presentation/pmachine.h"
    "src/asn1/ber_external.cpp|src/presentation/pmachine.h")

# The rank of the layer that holds `path` (relative to ROOT), or -1.
function(rank_of path out)
  set(r -1)
  list(LENGTH layer_dirs n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE ${last})
    list(GET layer_dirs ${i} dir)
    string(LENGTH "${dir}/" len)
    string(SUBSTRING "${path}" 0 ${len} head)
    if(head STREQUAL "${dir}/")
      list(GET layer_rank ${i} r)
      break()
    endif()
  endforeach()
  set(${out} ${r} PARENT_SCOPE)
endfunction()

set(globs "")
foreach(dir IN LISTS layer_dirs)
  list(APPEND globs "${ROOT}/${dir}/*.h" "${ROOT}/${dir}/*.cpp")
endforeach()
file(GLOB_RECURSE files RELATIVE "${ROOT}" ${globs})
list(SORT files)

set(faults 0)
set(checked 0)
foreach(file IN LISTS files)
  rank_of("${file}" own)
  if(own EQUAL -1)
    continue()
  endif()
  math(EXPR checked "${checked} + 1")
  file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" inc "${line}")
    if(NOT inc MATCHES "/")
      continue()  # beside the file: its own layer
    endif()
    rank_of("${inc}" theirs)
    if(theirs EQUAL -1)
      message("${file}: includes \"${inc}\", which is in no layer of the library")
      math(EXPR faults "${faults} + 1")
    elseif(theirs GREATER own)
      list(FIND allowed_upward "${file}|${inc}" allowed)
      if(allowed EQUAL -1)
        message("${file}: includes \"${inc}\" from a layer above its own")
        math(EXPR faults "${faults} + 1")
      endif()
    endif()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "check_layers: no source file found under ${ROOT}")
endif()
if(faults GREATER 0)
  message(FATAL_ERROR "check_layers: ${faults} include(s) run against the layer order")
endif()
message("check_layers: ${checked} files, every include runs downwards")

# The layer check on a small tree of its own: it must fail on each upward
# include, name it, and pass what runs downwards, stays in its layer or is the
# one permitted exception.
#
#   cmake -DCHECK=<check_layers.cmake> -DWORK=<scratch directory> -P check_layers_test.cmake

file(REMOVE_RECURSE "${WORK}")

function(put path)
  string(REPLACE ";" "\n" text "${ARGN}")
  file(WRITE "${WORK}/${path}" "${text}\n")
endfunction()

function(run_check expect_ok)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DROOT=${WORK} -P "${CHECK}" RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE out)
  if(expect_ok AND NOT rc EQUAL 0)
    message(FATAL_ERROR "a clean tree was refused:\n${out}")
  endif()
  if(NOT expect_ok AND rc EQUAL 0)
    message(FATAL_ERROR "an upward include passed the check:\n${out}")
  endif()
  set(check_output "${out}" PARENT_SCOPE)
endfunction()

# Downwards, within the layer, beside the file, the base layer's two
# folders among themselves, the two application boundaries among
# themselves, and the exception.
put(common/a.h "#pragma once" "#include \"src/runtime/b.h\"")
put(src/runtime/b.h "#pragma once" "#include \"common/a.h\"")
put(src/asn1/ber_context.cpp "#include \"src/presentation/pmachine.h\"" "#include \"src/asn1/c.h\"")
put(src/asn1/c.h "#include <cstdint>" "#include \"src/runtime/b.h\"")
put(src/presentation/pmachine.h "#include \"src/asn1/c.h\"" "#include \"near.h\"")
put(src/odbc/d.cpp "#include \"src/jdbc/e.h\"")
put(src/jdbc/e.h "#include \"src/odbc/f.h\"" "#include \"src/rda/g.h\"")
put(admin/h.cpp "#include \"src/runtime/b.h\"")
put(tests/t.cpp "#include \"src/jdbc/e.h\"" "#include \"support/x.h\"")
run_check(TRUE)

# Each fault is reported by file and header.
put(src/session/s.cpp "#  include \"src/odbc/alltls.h\"")
put(src/asn1/ber_chain.cpp "#include \"src/presentation/pmachine.h\"")
put(common/k.cpp "#include \"src/asn1/c.h\"")
put(src/rda/r.h "#include \"tests/support/stack.h\"")
run_check(FALSE)
foreach(expected
        "src/session/s.cpp: includes \"src/odbc/alltls.h\" from a layer above its own"
        "src/asn1/ber_chain.cpp: includes \"src/presentation/pmachine.h\" from a layer above its own"
        "common/k.cpp: includes \"src/asn1/c.h\" from a layer above its own"
        "src/rda/r.h: includes \"tests/support/stack.h\", which is in no layer of the library"
        "4 include\\(s\\) run against the layer order")
  if(NOT check_output MATCHES "${expected}")
    message(FATAL_ERROR "missing from the report: ${expected}\n${check_output}")
  endif()
endforeach()
foreach(clean ber_context.cpp pmachine.h d.cpp e.h h.cpp t.cpp)
  if(check_output MATCHES "${clean}:")
    message(FATAL_ERROR "${clean} was reported, yet its includes are in order:\n${check_output}")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
message("check_layers_test: passed")

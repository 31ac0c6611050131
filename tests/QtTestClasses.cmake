# Read by CTest before it runs tests (TEST_INCLUDE_FILES): asks a QTest executable for its test
# classes and adds one test per class, so that a failure names its class. Asking at test time
# rather than at build time keeps the build from running test binaries (which matters under the
# sanitizers). Set by the including file: qt_test_executable, qt_test_prefix, qt_test_labels,
# qt_test_serial (classes to run alone).
if(NOT EXISTS "${qt_test_executable}")
  add_test("${qt_test_prefix}NOT_BUILT" "${qt_test_executable}")
  return()
endif()
execute_process(COMMAND "${qt_test_executable}" --list-classes
                OUTPUT_VARIABLE classes RESULT_VARIABLE result TIMEOUT 120)
if(NOT result EQUAL 0 OR classes STREQUAL "")
  # Listing failed: one test that runs everything, so the failure shows in the results.
  add_test("${qt_test_prefix}ALL" "${qt_test_executable}")
  return()
endif()
string(STRIP "${classes}" classes)
string(REPLACE "\n" ";" classes "${classes}")
foreach(class IN LISTS classes)
  if(NOT class MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    # Not a list of class names: the executable does not know --list-classes.
    add_test("${qt_test_prefix}ALL" "${qt_test_executable}")
    return()
  endif()
endforeach()
foreach(class IN LISTS classes)
  add_test("${qt_test_prefix}${class}" "${qt_test_executable}" "${class}")
  set_tests_properties("${qt_test_prefix}${class}" PROPERTIES LABELS "${qt_test_labels}")
  list(FIND qt_test_serial "${class}" serial) # no IN_LIST: CTest reads this without policies
  if(NOT serial EQUAL -1)
    set_tests_properties("${qt_test_prefix}${class}" PROPERTIES RUN_SERIAL TRUE)
  endif()
endforeach()

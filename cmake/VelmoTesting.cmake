# How every layer registers its tests: each test gets a hard time-out (a hang fails instead of stalling CI) and
# labels whose first entry names its layer, so that `ctest -L <layer>` runs exactly that layer's tests:
# transport, protocol, service, simulator, dialup, manager (the manager's tests also carry manager.core,
# manager.screens or manager.app).
include_guard(GLOBAL)
include(GoogleTest)

set(VELMO_TEST_TIMEOUT 120 CACHE STRING "Seconds before a test counts as hung")
set(VELMO_TEST_DISCOVERY_TIMEOUT 60 CACHE STRING "Seconds a test program may take to list its tests")

# velmo_add_gtest(<target> LABELS <layer> [<label>...] [PREFIX <prefix>] [TIMEOUT <s>] [NO_PRETTY_VALUES])
# One ctest test per GoogleTest case of <target>, found after the build.
function(velmo_add_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "NO_PRETTY_VALUES" "PREFIX;TIMEOUT" "LABELS")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_LABELS)
    message(FATAL_ERROR "velmo_add_gtest(${target}): LABELS <layer> [...] [PREFIX p] [TIMEOUT s] [NO_PRETTY_VALUES]")
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT ${VELMO_TEST_TIMEOUT})
  endif()
  set(pretty)
  if(arg_NO_PRETTY_VALUES)
    set(pretty NO_PRETTY_VALUES)
  endif()
  # Discovery passes PROPERTIES on as single words, so it gets the layer alone; a second ctest include,
  # read after the discovered list, sets the whole label list.
  list(GET arg_LABELS 0 layer)
  set(list_var velmo_${target}_tests)
  gtest_discover_tests(${target} TEST_PREFIX "${arg_PREFIX}" ${pretty} TEST_LIST ${list_var}
                       DISCOVERY_TIMEOUT ${VELMO_TEST_DISCOVERY_TIMEOUT}
                       PROPERTIES TIMEOUT ${arg_TIMEOUT} LABELS ${layer})
  list(LENGTH arg_LABELS label_count)
  if(label_count GREATER 1)
    set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake)
    file(WRITE ${labels_file}
         "if(${list_var})\n  set_tests_properties(\${${list_var}} PROPERTIES LABELS \"${arg_LABELS}\")\nendif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
  endif()
endfunction()

# velmo_add_test(<name> LABELS <layer> [<label>...] COMMAND <command> [<arg>...] [TIMEOUT <s>]
#                [ENVIRONMENT <VAR=value>...] [SESSION_BUS])
# One ctest test that runs a command: a QtTest program, a script. SESSION_BUS runs it under its own D-Bus
# session bus, which ends with it, so a GUI test never reaches the desktop's bus or leaves a daemon behind.
function(velmo_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "SESSION_BUS" "TIMEOUT" "LABELS;COMMAND;ENVIRONMENT")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_LABELS OR NOT arg_COMMAND)
    message(FATAL_ERROR "velmo_add_test(${name}): LABELS <layer> [...] COMMAND <command> [...] [TIMEOUT s] "
                        "[ENVIRONMENT ...] [SESSION_BUS]")
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT ${VELMO_TEST_TIMEOUT})
  endif()
  set(command ${arg_COMMAND})
  if(arg_SESSION_BUS)
    find_program(VELMO_DBUS_RUN_SESSION dbus-run-session REQUIRED)
    list(GET command 0 program)
    # A target name runs as its built file; dbus-run-session would not know it.
    if(TARGET ${program})
      list(POP_FRONT command)
      list(PREPEND command $<TARGET_FILE:${program}>)
    endif()
    list(PREPEND command ${VELMO_DBUS_RUN_SESSION} --)
  endif()
  add_test(NAME ${name} COMMAND ${command})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT} LABELS "${arg_LABELS}")
  if(arg_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${arg_ENVIRONMENT}")
  endif()
endfunction()

# vrn_add_test(NAME <target> LABEL <module> SOURCES ... [LIBS ...] [EXTRA_LABELS ...] [TIMEOUT s])
#
# Every test carries the label of the module it protects (lib, sim, agent, codec, notify,
# settings, core, ui, diskcheck, e2e) so scripts/test can pick them per build.
# EXTRA_LABELS "race" marks tests that the tsan build runs as well.
include(GoogleTest)
find_package(GTest REQUIRED)

set(VRN_MODULE_LABELS lib sim agent codec notify settings core ui diskcheck e2e)

# vrn_note_test_target(<target> <label>...): remembers which test programs carry which labels,
# so that the sanitizer and fuzz builds can build just what their runs need (tests/CMakeLists.txt).
function(vrn_note_test_target target)
  foreach(label ${ARGN})
    set_property(GLOBAL APPEND PROPERTY VRN_TEST_TARGETS_${label} ${target})
  endforeach()
endfunction()

function(vrn_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;EXTRA_LABELS" ${ARGN})
  if(VRN_FUZZ)
    return()
  endif()
  if(NOT T_LABEL IN_LIST VRN_MODULE_LABELS)
    message(FATAL_ERROR "test ${T_NAME}: label '${T_LABEL}' is not a module label")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  vrn_note_test_target(${T_NAME} ${T_LABEL} ${T_EXTRA_LABELS})
  target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gtest_main Threads::Threads ${T_LIBS})
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${T_NAME} PRIVATE
    VRN_BUILD_DIR="${PROJECT_BINARY_DIR}" VRN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(T_EXTRA_LABELS)
    # Discovered tests take a single label only (the discovery script flattens lists), so a
    # test with extra labels runs as one whole executable carrying all of them.
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABEL};${T_EXTRA_LABELS}"
      TIMEOUT ${T_TIMEOUT})
  else()
    gtest_discover_tests(${T_NAME}
      PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# vrn_add_script_test(NAME <name> LABEL <module> COMMAND ...): a test that runs a program
# or script (shell, python) and passes on exit status 0.
function(vrn_add_script_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "COMMAND;EXTRA_LABELS" ${ARGN})
  if(VRN_FUZZ)
    return()
  endif()
  if(NOT T_LABEL IN_LIST VRN_MODULE_LABELS)
    message(FATAL_ERROR "test ${T_NAME}: label '${T_LABEL}' is not a module label")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABEL};${T_EXTRA_LABELS}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "VRN_BUILD_DIR=${PROJECT_BINARY_DIR};VRN_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# vrn_add_fuzzer(NAME <target> SOURCES ... LIBS ... [SEEDS dir]): built only in the fuzz preset.
function(vrn_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;SEEDS" "SOURCES;LIBS" ${ARGN})
  if(NOT VRN_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  vrn_note_test_target(${F_NAME} fuzz)
  set_property(GLOBAL APPEND PROPERTY VRN_FUZZERS "$<TARGET_FILE:${F_NAME}>|${F_SEEDS}")
endfunction()

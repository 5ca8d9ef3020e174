# Helpers shared by every layer's CMakeLists.txt.

# tikora_add_test(<name> SOURCES <files...> LIBS <targets...> [GUI])
# One GoogleTest executable, registered with CTest. GUI tests run on Qt's offscreen platform.
function(tikora_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TIKORA_TESTS)
    return()
  endif()
  if(T_GUI AND NOT TIKORA_GUI)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # Helpers every test folder may share (temporary folders, files).
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${name} PRIVATE TIKORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             TIKORA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${PROJECT_BINARY_DIR}/xdg-runtime;TIKORA_TEST_TMP=${PROJECT_BINARY_DIR}/test-tmp;XDG_CONFIG_HOME=${PROJECT_BINARY_DIR}/test-tmp/config"
    TIMEOUT 300)
  if(TIKORA_TSAN)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
      "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1")
  endif()
endfunction()

# tikora_add_fuzzer(<name> SOURCES <files...> LIBS <targets...>)
# A libFuzzer target; only in the fuzz build (clang). Its seed corpus is tests/fuzz/corpus/<name>/.
function(tikora_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TIKORA_FUZZ)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzzers)
  if(NOT TARGET fuzzers)
    add_custom_target(fuzzers)
  endif()
  add_dependencies(fuzzers ${name})
endfunction()

# tikora_add_bench(<name> SOURCES <files...> LIBS <targets...>)
function(tikora_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)
endfunction()

# A hung test fails after this long instead of holding the run for ctest's default 1500 s; the
# slowest cases take a few seconds, ten times over under ThreadSanitizer on two loaded cores.
set(ZK_TEST_TIMEOUT 180)

# Where the test_certificates fixture puts the TLS tests' certificate pairs.
set(ZK_TEST_CERTIFICATES ${CMAKE_BINARY_DIR}/tests/certificates)

# zk_add_gtest(<name> SOURCES ... LIBS ... [LABELS ...] [FIXTURE <setup fixture it needs>])
# One GoogleTest binary per library; each test case becomes a ctest entry.
function(zk_add_gtest name)
    cmake_parse_arguments(ARG "" "FIXTURE" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                          zk_options)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_compile_definitions(${name} PRIVATE ZK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                               ZK_PROGRAM_DIR="${ZK_PROGRAM_DIR}"
                                               ZK_TEST_CERTIFICATES="${ZK_TEST_CERTIFICATES}")
    set(properties TIMEOUT ${ZK_TEST_TIMEOUT} LABELS "${ARG_LABELS}")
    if(ARG_FIXTURE)
        list(APPEND properties FIXTURES_REQUIRED ${ARG_FIXTURE})
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

# zk_add_fuzz(<name> SOURCE <file> LIBS ...)
# With ZK_FUZZ a libFuzzer binary; otherwise a test that replays tests/fuzz/corpus/<name>.
function(zk_add_fuzz name)
    cmake_parse_arguments(ARG "" "SOURCE" "LIBS" ${ARGN})
    if(ZK_FUZZ)
        add_executable(${name} ${ARG_SOURCE})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${name} PRIVATE ${ARG_LIBS} zk_options)
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    else()
        add_executable(${name}_replay ${ARG_SOURCE} ${CMAKE_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
        target_link_libraries(${name}_replay PRIVATE ${ARG_LIBS} zk_options)
        set_target_properties(${name}_replay PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                        ${CMAKE_BINARY_DIR}/tests)
        add_test(NAME ${name}_replay
                 COMMAND ${name}_replay ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
        set_tests_properties(${name}_replay PROPERTIES TIMEOUT ${ZK_TEST_TIMEOUT})
    endif()
endfunction()

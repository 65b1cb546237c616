# Test registration shared by every folder under tests/.
#   korvex_add_gtest(NAME name SOURCES ... LIBS ...)   GoogleTest, widget-free logic
#   korvex_add_qtest(NAME name SOURCES ... LIBS ...)   Qt Test, GUI under the offscreen platform
# Each test runs in a working directory of its own, because the program keeps
# its capture file and symbols relative to the working directory.
find_package(GTest REQUIRED)

set(KORVEX_TEST_DATA_DIR ${CMAKE_SOURCE_DIR}/tests/data)

function(_korvex_register name)
    _korvex_register_run(${name} ${name} ${ARGN})
endfunction()

# Registers one more run of an existing test executable, e.g. a subset of
# its test functions: korvex_add_test_run(NAME run TARGET exe ARGS ...).
function(korvex_add_test_run)
    cmake_parse_arguments(T "" "NAME;TARGET" "ARGS" ${ARGN})
    _korvex_register_run(${T_NAME} ${T_TARGET} ${T_ARGS})
endfunction()

function(_korvex_register_run name target)
    set(workdir ${CMAKE_BINARY_DIR}/test-work/${name})
    file(MAKE_DIRECTORY ${workdir})
    add_test(NAME ${name} COMMAND ${target} ${ARGN} WORKING_DIRECTORY ${workdir})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KORVEX_LIVE=0;KORVEX_LOG=quiet"
        TIMEOUT 600)
    if(name IN_LIST KORVEX_CONCURRENCY_TESTS)
        set_property(TEST ${name} APPEND PROPERTY LABELS concurrency)
    endif()
endfunction()

function(korvex_add_gtest)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ARGS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    korvex_warnings(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    target_compile_definitions(${T_NAME} PRIVATE KORVEX_TEST_DATA_DIR="${KORVEX_TEST_DATA_DIR}")
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    _korvex_register(${T_NAME} ${T_ARGS})
endfunction()

function(korvex_add_qtest)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ARGS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    korvex_warnings(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt5::Test Qt5::Widgets)
    target_compile_definitions(${T_NAME} PRIVATE KORVEX_TEST_DATA_DIR="${KORVEX_TEST_DATA_DIR}")
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    _korvex_register(${T_NAME} ${T_ARGS})
endfunction()

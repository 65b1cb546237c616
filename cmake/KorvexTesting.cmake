# Test registration shared by every folder under tests/.
#   korvex_add_gtest(NAME name SOURCES ... LIBS ...)   GoogleTest, widget-free logic
#   korvex_add_qtest(NAME name SOURCES ... LIBS ...)   Qt Test, GUI under the offscreen platform
# Each test runs in a fresh temporary working directory of its own
# (tests/common/in-temp-dir.sh), because the program keeps its capture file
# and symbols relative to the working directory. Qt Test programs also get
# tests/common/modalguard.cpp: an unanswered modal box fails them at once.
find_package(GTest REQUIRED)

set(KORVEX_TEST_DATA_DIR ${CMAKE_SOURCE_DIR}/tests/data)
set(KORVEX_TEST_COMMON_DIR ${CMAKE_SOURCE_DIR}/tests/common)

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
    add_test(NAME ${name}
        COMMAND ${KORVEX_TEST_COMMON_DIR}/in-temp-dir.sh $<TARGET_FILE:${target}> ${ARGN})
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
    target_include_directories(${T_NAME} PRIVATE ${KORVEX_TEST_COMMON_DIR})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    target_compile_definitions(${T_NAME} PRIVATE KORVEX_TEST_DATA_DIR="${KORVEX_TEST_DATA_DIR}")
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    _korvex_register(${T_NAME} ${T_ARGS})
endfunction()

function(korvex_add_qtest)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ARGS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES} ${KORVEX_TEST_COMMON_DIR}/modalguard.cpp)
    korvex_warnings(${T_NAME})
    target_include_directories(${T_NAME} PRIVATE ${KORVEX_TEST_COMMON_DIR})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt5::Test Qt5::Widgets)
    target_compile_definitions(${T_NAME} PRIVATE KORVEX_TEST_DATA_DIR="${KORVEX_TEST_DATA_DIR}")
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    _korvex_register(${T_NAME} ${T_ARGS})
endfunction()

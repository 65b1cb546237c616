# libFuzzer builds. Configure the whole tree with clang and
# -DKORVEX_BUILD_FUZZERS=ON (fuzz/run-all.sh does): every library is then
# compiled with coverage instrumentation, and each target links libFuzzer's
# main. Combine with -DKORVEX_SANITIZE=address to catch memory faults.
#   korvex_add_fuzzer(NAME name SOURCES ... LIBS ...)
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KORVEX_BUILD_FUZZERS needs clang (CC=clang CXX=clang++): "
                        "libFuzzer is part of clang")
endif()

add_compile_options(-fsanitize=fuzzer-no-link)

function(korvex_add_fuzzer)
    cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${F_NAME} ${F_SOURCES})
    korvex_warnings(${F_NAME})
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    target_include_directories(${F_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz/common)
    set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()

# Native (Linux) build of the pure logic: its unit tests, and with clang the
# libFuzzer targets under AddressSanitizer and UndefinedBehaviorSanitizer.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

option(QIBOR_FUZZ "Build the libFuzzer targets (clang only)" OFF)
set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

file(GLOB pure_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/pure/*_test.cpp)
add_executable(pure_tests ${pure_tests})
target_link_libraries(pure_tests PRIVATE qibor_pure GTest::gtest GTest::gtest_main)
qibor_warnings(pure_tests)
add_test(NAME pure_tests COMMAND pure_tests)

if(QIBOR_FUZZ)
  # The pure logic and its tests run under the sanitizers too.
  target_compile_options(qibor_pure PRIVATE ${sanitizers} -fsanitize=fuzzer-no-link)
  target_compile_options(pure_tests PRIVATE ${sanitizers})
  target_link_options(pure_tests PRIVATE ${sanitizers})
  file(GLOB fuzz_targets CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
  foreach(source ${fuzz_targets})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE qibor_pure)
    target_compile_options(${name} PRIVATE ${sanitizers} -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE ${sanitizers} -fsanitize=fuzzer)
  endforeach()
endif()

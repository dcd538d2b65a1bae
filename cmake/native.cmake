# Native (Linux) build of the pure logic: its unit tests, and with clang the
# libFuzzer targets under AddressSanitizer and UndefinedBehaviorSanitizer.
find_package(GTest REQUIRED)

add_executable(pure_tests
  tests/member_size_test.cpp
  tests/captured_lines_test.cpp
  tests/kept_members_test.cpp
  tests/text_encoding_test.cpp
  tests/probe_lines_test.cpp
  tests/member_path_test.cpp
  tests/records_test.cpp
)
target_link_libraries(pure_tests PRIVATE qibor_pure GTest::gtest GTest::gtest_main)
qibor_warnings(pure_tests)
add_test(NAME pure_tests COMMAND pure_tests)

option(QIBOR_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(QIBOR_FUZZ)
  foreach(name text_encoding member_size captured_lines)
    add_executable(fuzz_${name} tests/fuzz/${name}_fuzz.cpp)
    target_link_libraries(fuzz_${name} PRIVATE qibor_pure)
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  endforeach()
  target_compile_options(qibor_pure PRIVATE -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
endif()

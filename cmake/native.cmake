# Native (Linux) build of the portable core: unit tests under ASan+UBSan, Release-optimised benchmarks,
# and libFuzzer targets.
set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

function(lanying_core_library name)
  add_library(${name} STATIC ${LANYING_CORE_SOURCES} ${LANYING_POSIX_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${LANYING_WARNINGS} ${LANYING_CHARSET_FLAGS} ${ARGN})
  target_link_libraries(${name} PUBLIC lanying_deps)
endfunction()

# libFuzzer needs clang, and clang cannot encode literals as GBK, so the fuzzers are a build of their own
# (UTF-8 literals; nothing they exercise depends on the text encoding). The native build starts it.
if(LANYING_FUZZ_ONLY)
  set(LANYING_CHARSET_FLAGS -finput-charset=UTF-8)
  lanying_core_library(lanying_core_fuzz -O1 -g -fsanitize=fuzzer-no-link ${SANITIZE_FLAGS})
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  lanying_filter(FUZZ_SOURCES)
  foreach(src IN LISTS FUZZ_SOURCES)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE ${LANYING_WARNINGS} -O1 -g -fsanitize=fuzzer ${SANITIZE_FLAGS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE lanying_core_fuzz)
  endforeach()
  return()
endif()

enable_testing()
find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)

# Optimised core for the benchmarks; sanitised core for the unit tests.
lanying_core_library(lanying_core -O2)
lanying_core_library(lanying_core_san -O1 -g ${SANITIZE_FLAGS})
target_link_options(lanying_core_san PUBLIC -fsanitize=address,undefined)

file(GLOB NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
lanying_filter(NATIVE_TEST_SOURCES)
if(NATIVE_TEST_SOURCES)
  add_executable(native_tests ${NATIVE_TEST_SOURCES})
  target_compile_options(native_tests PRIVATE ${LANYING_WARNINGS} ${LANYING_CHARSET_FLAGS} -O1 -g ${SANITIZE_FLAGS})
  target_compile_definitions(native_tests PRIVATE LANYING_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(native_tests PRIVATE lanying_core_san GTest::gtest GTest::gtest_main)
  include(GoogleTest)
  gtest_discover_tests(native_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")
endif()

file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*_bench.cpp)
lanying_filter(BENCH_SOURCES)
foreach(src IN LISTS BENCH_SOURCES)
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_compile_options(${name} PRIVATE ${LANYING_WARNINGS} ${LANYING_CHARSET_FLAGS} -O2)
  target_compile_definitions(${name} PRIVATE LANYING_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/bench)
  target_link_libraries(${name} PRIVATE lanying_core benchmark::benchmark)
endforeach()

if(NOT LANYING_SKIP_FUZZERS)
  include(ExternalProject)
  ExternalProject_Add(fuzzers
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
    CMAKE_ARGS -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
               -DLANYING_FUZZ_ONLY=ON "-DLANYING_SOURCE_FILTER=${LANYING_SOURCE_FILTER}"
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
endif()

# Every fuzzer replays its seed corpus (which keeps the reproducers of past findings) as a regression test.
if(NOT LANYING_SKIP_FUZZERS)
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  lanying_filter(FUZZ_SOURCES)
  foreach(src IN LISTS FUZZ_SOURCES)
    get_filename_component(name ${src} NAME_WE)
    string(REGEX REPLACE "_fuzz$" "" corpus ${name})
    if(EXISTS ${CMAKE_SOURCE_DIR}/fuzz/corpus/${corpus})
      add_test(NAME ${name}_corpus COMMAND ${CMAKE_BINARY_DIR}/fuzz/${name} -runs=0 ${CMAKE_SOURCE_DIR}/fuzz/corpus/${corpus})
    endif()
  endforeach()
endif()

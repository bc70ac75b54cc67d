# Native build: unit tests, fuzz targets, simulators, benchmarks, house-rule checks.
enable_testing()
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

# What the native tests and benchmarks share (testbed/native): the radio channel models,
# included as "channels/channels.h", the modulator and receiver helpers of modem_signals.h,
# and programs such as noisy_wav.
file(GLOB ZK_CHANNEL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testbed/native/channels/*.cpp)
add_library(zkchannels STATIC ${ZK_CHANNEL_SOURCES})
target_include_directories(zkchannels PUBLIC ${CMAKE_SOURCE_DIR}/testbed/native ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(zkchannels PUBLIC zkmodemcore)
zk_strict_warnings(zkchannels)

file(GLOB ZK_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(zk_unit_tests ${ZK_UNIT_TESTS})
target_link_libraries(zk_unit_tests PRIVATE zkcore zkenginecore zkchannels GTest::gtest GTest::gtest_main Threads::Threads)
# The simulators' shared parts are tested as the simulators include them.
target_include_directories(zk_unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/sim)
zk_test_warnings(zk_unit_tests)
include(GoogleTest)
gtest_discover_tests(zk_unit_tests DISCOVERY_TIMEOUT 60)

add_test(NAME core_has_no_windows_headers
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-core-headers ${CMAKE_SOURCE_DIR})
add_test(NAME includes_run_down_the_layers
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-layers ${CMAKE_SOURCE_DIR})

# libFuzzer targets, with AddressSanitizer and UndefinedBehaviorSanitizer, when clang builds.
set(ZK_FUZZ_RUNS 200000 CACHE STRING "iterations each fuzz target runs under ctest")
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(ZK_SAN -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  # Every core source in one sanitized library; a fuzz target links what it needs from it.
  set(ZK_FUZZ_SOURCES ${zkbase_SOURCES} ${zkbase_POSIX_SOURCES} ${zkcore_SOURCES} ${zkcore_POSIX_SOURCES}
      ${zkmodemcore_SOURCES} ${zkmodemcore_POSIX_SOURCES} ${zkenginecore_SOURCES})
  add_library(zkcore_fuzz STATIC ${ZK_FUZZ_SOURCES})
  target_include_directories(zkcore_fuzz PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(zkcore_fuzz PRIVATE ${ZK_SAN} -fsanitize=fuzzer-no-link -g -O1)
  file(GLOB ZK_FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
  foreach(src IN LISTS ZK_FUZZ_TARGETS)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE zkcore_fuzz)
    target_compile_options(${name} PRIVATE ${ZK_SAN} -fsanitize=fuzzer -g -O1)
    target_link_options(${name} PRIVATE ${ZK_SAN} -fsanitize=fuzzer)
    add_test(NAME ${name} COMMAND ${name} -runs=${ZK_FUZZ_RUNS} -seed=1 -max_len=4096)
    set_tests_properties(${name} PROPERTIES LABELS fuzz)
  endforeach()
endif()

# Station simulators, native benchmarks and the test programs of testbed/native: one program
# per .cpp at the top of its folder.
file(GLOB ZK_SIM_COMMON CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/common/*.cpp)
if(ZK_SIM_COMMON)
  add_library(zksim STATIC ${ZK_SIM_COMMON})
  target_include_directories(zksim PUBLIC ${CMAKE_SOURCE_DIR}/sim ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(zksim PUBLIC zkcore Threads::Threads)
  zk_strict_warnings(zksim)
endif()
file(GLOB ZK_SIMS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/*.cpp)
foreach(src IN LISTS ZK_SIMS)
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE zkcore Threads::Threads)
  if(TARGET zksim)
    target_link_libraries(${name} PRIVATE zksim)
  endif()
  zk_strict_warnings(${name})
endforeach()
file(GLOB ZK_NATIVE_BENCH CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/native/*.cpp
     ${CMAKE_SOURCE_DIR}/testbed/native/*.cpp)
foreach(src IN LISTS ZK_NATIVE_BENCH)
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE zkcore zkchannels Threads::Threads)
  zk_test_warnings(${name})
endforeach()

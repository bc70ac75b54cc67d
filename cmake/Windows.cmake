# Windows build (mingw-w64 cross compilers): Zktty.exe, the end-to-end driver, fake peers
# and Windows benchmarks. Everything links statically, so no DLL has to sit beside an exe.
enable_language(RC)
set(ZK_WIN_LINK -static -static-libgcc -static-libstdc++)

add_executable(Zktty WIN32 ${ZK_SHELL_SOURCES} ${CMAKE_SOURCE_DIR}/src/resources/Zktty.rc)
target_link_libraries(Zktty PRIVATE zkcore comctl32 comdlg32 shell32 gdi32 user32 kernel32)
target_compile_definitions(Zktty PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
target_include_directories(Zktty PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_options(Zktty PRIVATE ${ZK_WIN_LINK} -mwindows)
zk_strict_warnings(Zktty)
set_target_properties(Zktty PROPERTIES OUTPUT_NAME Zktty)

# The shell without its entry point, for Windows-side tests and benchmarks that drive
# the real pane and device code inside their own process.
set(ZK_SHELL_LIB_SOURCES ${ZK_SHELL_SOURCES})
list(FILTER ZK_SHELL_LIB_SOURCES EXCLUDE REGEX "/win_main\\.cpp$")
add_library(zkshell STATIC ${ZK_SHELL_LIB_SOURCES})
target_link_libraries(zkshell PUBLIC zkcore comctl32 comdlg32 shell32 gdi32 user32 kernel32)
target_compile_definitions(zkshell PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)
zk_strict_warnings(zkshell)

# What the end-to-end tests and the Windows benchmarks share: files, clipboard, serial
# far ends, and the driver that works Zktty.exe from outside.
file(GLOB ZK_TESTBED_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testbed/win32/*.cpp)
add_library(zktestbed STATIC ${ZK_TESTBED_SOURCES})
target_include_directories(zktestbed PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(zktestbed PUBLIC gdi32 user32 kernel32)
zk_test_warnings(zktestbed)

# GoogleTest from Debian's source package, compiled with the same cross compiler.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
if(EXISTS /usr/src/googletest/CMakeLists.txt)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  file(GLOB ZK_E2E_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
  if(ZK_E2E_SOURCES)
    add_executable(zk_e2e ${ZK_E2E_SOURCES})
    target_link_libraries(zk_e2e PRIVATE zktestbed gtest gtest_main ws2_32)
    target_link_options(zk_e2e PRIVATE ${ZK_WIN_LINK})
    zk_test_warnings(zk_e2e)
  endif()
endif()

# Windows-side benchmarks and fake peers: one program per .cpp, with the program's
# resources so the real main window can be made in-process.
foreach(dir bench/win tests/e2e/peers)
  file(GLOB progs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  foreach(src IN LISTS progs)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} ${CMAKE_SOURCE_DIR}/src/resources/Zktty.rc)
    target_link_libraries(${name} PRIVATE zkshell zktestbed psapi)
    target_link_options(${name} PRIVATE ${ZK_WIN_LINK})
    zk_test_warnings(${name})
  endforeach()
endforeach()

# The engine benchmark works out where each character's audio ends with the modem core.
if(TARGET engine_bench)
  target_link_libraries(engine_bench PRIVATE zkmodemcore)
endif()

# The stand-in browser opens no console window over the program under test.
if(TARGET help_viewer)
  set_target_properties(help_viewer PROPERTIES WIN32_EXECUTABLE ON)
endif()

# Tests that drive the shell's own operations inside their process (device open and close
# under load, long runs): one GoogleTest program.
file(GLOB ZK_SHELL_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/shell/*.cpp)
if(ZK_SHELL_TESTS AND TARGET gtest)
  add_executable(zk_shell_tests ${ZK_SHELL_TESTS} ${CMAKE_SOURCE_DIR}/src/resources/Zktty.rc)
  target_link_libraries(zk_shell_tests PRIVATE zkshell zktestbed gtest gtest_main psapi)
  target_link_options(zk_shell_tests PRIVATE ${ZK_WIN_LINK})
  zk_test_warnings(zk_shell_tests)
endif()

# The manual goes beside the exe, where "RTTY Help" looks for it.
add_custom_command(TARGET Zktty POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/docs/help $<TARGET_FILE_DIR:Zktty>/help)

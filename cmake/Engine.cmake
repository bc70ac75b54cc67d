# The engine program zkmodem: its portable session core on the modem, built by every
# preset (natively for the unit tests), and on Windows zkmodem.exe, built beside Zktty.exe
# and statically linked like it.
zk_core_library(zkenginecore engine)
target_link_libraries(zkenginecore PUBLIC zkmodemcore)

if(WIN32)
  enable_language(RC)
  file(GLOB ZK_ENGINE_WIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/engine/win32/*.cpp)
  add_executable(zkmodem WIN32 ${ZK_ENGINE_WIN_SOURCES} ${CMAKE_SOURCE_DIR}/src/engine/win32/zkmodem.rc)
  target_link_libraries(zkmodem PRIVATE zkenginecore winmm ws2_32 comctl32 gdi32 user32 kernel32)
  target_compile_definitions(zkmodem PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_options(zkmodem PRIVATE -static -static-libgcc -static-libstdc++ -mwindows)
  zk_strict_warnings(zkmodem)
endif()

# The sound-card modem's signal processing: a portable core on zkbase alone, built by every
# preset; natively also the zkrtty command.
zk_core_library(zkmodemcore modem)
target_link_libraries(zkmodemcore PUBLIC zkbase)

if(NOT WIN32)
  file(GLOB ZK_RTTY_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/modem/cli/*.cpp)
  add_executable(zkrtty ${ZK_RTTY_SOURCES})
  target_link_libraries(zkrtty PRIVATE zkmodemcore)
  zk_strict_warnings(zkrtty)
endif()

# Test peers as libraries, for the tests and for the tools that use them when the tests are not built:
# the game emulator (games/), the fake flight simulator (simulator/), and the devices at the far end of
# the library's ports (a motion controller with its safety monitor, a wind device) on pseudo-terminals.
set(peer_dir ${CMAKE_CURRENT_LIST_DIR})
if(NOT TARGET tarvelmond_game_emulator)
    add_subdirectory(${peer_dir}/games ${CMAKE_BINARY_DIR}/peers/games)
endif()
if(NOT TARGET tarvelmond_fake_simulator)
    add_subdirectory(${peer_dir}/simulator ${CMAKE_BINARY_DIR}/peers/simulator)
endif()
if(TARGET tarvelmond_peers)
    return()
endif()
if(WIN32)
    set(peer_platform ${peer_dir}/platform/win32/far_end.cpp)
else()
    set(peer_platform ${peer_dir}/platform/posix/far_end.cpp ${peer_dir}/platform/posix/line_rate.cpp)
endif()
add_library(tarvelmond_peers STATIC ${peer_dir}/virtual_controller.cpp ${peer_dir}/safety_monitor.cpp
                                    ${peer_dir}/udp_controller.cpp
                                    ${peer_platform})
target_include_directories(tarvelmond_peers PUBLIC ${peer_dir}/..)
target_link_libraries(tarvelmond_peers PUBLIC tarvelmond_core)
if(NOT WIN32)
    target_link_libraries(tarvelmond_peers PUBLIC util)
endif()

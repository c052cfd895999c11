# lampsim's player as a board builds it.
#
# LAMPSIM_PLAYER_SOURCES: the portable player (no heap): the command table,
# the player, the event stream, the fade digest, the judging of expectations,
# the serial link's frames and step table.
#
# lampsim_serial_player(<target>): makes <target>, an executable of the
# board's with the board's port compiled in, lampsim's serial player
# (target/serial_player.cpp, docs/porting.md "Checking a port"). The board
# supplies Boards/board_observe.h, Boards/board_player.h and Boards/serial.h;
# Boards/template/ has them to fill in. The player sees the module's saves
# through the linker's --wrap=nvm_write, which redirects calls only into code
# built without link-time optimisation.
set(LAMPSIM_DIR ${CMAKE_CURRENT_LIST_DIR})
set(LAMPSIM_PLAYER_SOURCES
  ${LAMPSIM_DIR}/player/commands.cpp
  ${LAMPSIM_DIR}/player/player.cpp
  ${LAMPSIM_DIR}/player/stream.cpp
  ${LAMPSIM_DIR}/player/digest.cpp
  ${LAMPSIM_DIR}/player/expect.cpp
  ${LAMPSIM_DIR}/player/crc32.cpp
  ${LAMPSIM_DIR}/player/link.cpp
  ${LAMPSIM_DIR}/player/step_codec.cpp)

function(lampsim_serial_player target)
  target_sources(${target} PRIVATE ${LAMPSIM_PLAYER_SOURCES} ${LAMPSIM_DIR}/target/serial_player.cpp)
  target_include_directories(${target} PRIVATE ${LAMPSIM_DIR}/player ${LAMPSIM_DIR}/../../Boards)
  target_link_options(${target} PRIVATE -Wl,--wrap=nvm_write)
endfunction()

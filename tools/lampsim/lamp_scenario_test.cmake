# add_lamp_scenario_test(NAME FILE [CHIP_FLOOR] [REAL_PACE])
#
# A scenario file as a test. On the host board: lampsim runs it and its
# expectations must hold. In the m0 preset: it runs on both boards, the
# expectations must hold on each, and the two runs must give the same trace,
# CSV and timeline, byte for byte; the host's lampsim there serves fade ticks
# no shorter than the chip's shortest period, as the chip does. CHIP_FLOOR: a
# scenario whose expectations depend on that shortest period (fades that ask
# for shorter ticks), run in the m0 preset only. REAL_PACE: in the m0 preset
# the chip runs it a second time at the nRF51's pace
# (scenario.NAME.real_pace, lampsim --real-pace), where thread mode must not
# starve and the dispatcher must keep up. Also in the m0 preset,
# scenario.NAME.uart: the file over the chip's UART (--link uart), judged on
# the chip, its fade digests, results and saves equal to lampsim's host-board
# run with the chip's shortest tick.
function(add_lamp_scenario_test name file)
  cmake_parse_arguments(PARSE_ARGV 2 arg "CHIP_FLOOR;REAL_PACE" "" "")
  get_filename_component(path ${file} ABSOLUTE)
  if(LIGHT_BOARD STREQUAL "host")
    if(NOT arg_CHIP_FLOOR)
      add_test(NAME scenario.${name} COMMAND ${LAMPSIM_EXECUTABLE} ${path} --quiet)
    endif()
  elseif(LIGHT_BOARD STREQUAL "microbit")
    add_test(NAME scenario.${name}
      COMMAND ${Python3_EXECUTABLE} ${LAMPSIM_COMPARE_SCRIPT} --lampsim ${LAMPSIM_EXECUTABLE}
              --firmware ${LAMPSIM_PLAYER} ${path})
    add_test(NAME scenario.${name}.uart
      COMMAND ${LAMPSIM_EXECUTABLE} ${path} --board m0 --link uart
              --firmware ${LAMPSIM_SERIAL_PLAYER} --quiet)
    set_tests_properties(scenario.${name} scenario.${name}.uart PROPERTIES TIMEOUT 300)
    if(arg_REAL_PACE)
      add_test(NAME scenario.${name}.real_pace
        COMMAND ${LAMPSIM_EXECUTABLE} ${path} --board m0 --firmware ${LAMPSIM_PLAYER} --real-pace)
      set_tests_properties(scenario.${name}.real_pace PROPERTIES TIMEOUT 300)
    endif()
  endif()
endfunction()
if(LIGHT_BOARD STREQUAL "microbit")
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
endif()
set(LAMPSIM_COMPARE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/compare_boards.py)

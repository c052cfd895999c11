# Builds the consumer project the way another team would and checks that
# nothing of light_ctrl's own build reached its compile commands.
#   cmake -DMODE=subdirectory|package -DSOURCE=<light_ctrl source>
#         -DWORK=<scratch dir> [-DTOOLCHAIN=<file>] -P run.cmake
cmake_minimum_required(VERSION 3.25)
set(consumer ${SOURCE}/tests/consumer)
file(REMOVE_RECURSE ${WORK})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}")
  endif()
endfunction()

set(consumer_args)
if(MODE STREQUAL "subdirectory")
  list(APPEND consumer_args -DLIGHT_CTRL_SOURCE_DIR=${SOURCE})
elseif(MODE STREQUAL "package")
  # The install is made as a machine without GoogleTest would make it.
  run(${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/light_ctrl -DCMAKE_BUILD_TYPE=Release
      -DLIGHT_BUILD_TESTS=OFF -DLIGHT_BOARD=none -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON)
  run(${CMAKE_COMMAND} --build ${WORK}/light_ctrl -j 2)
  run(${CMAKE_COMMAND} --install ${WORK}/light_ctrl --prefix ${WORK}/prefix)
  list(APPEND consumer_args -DCMAKE_PREFIX_PATH=${WORK}/prefix)
  # The installed module is one translation unit: its archive holds one object.
  file(GLOB_RECURSE archive ${WORK}/prefix/*liblight_ctrl.a)
  file(STRINGS ${archive} members REGEX "\\.(o|obj)/?$")
  list(REMOVE_DUPLICATES members)
  if(NOT members MATCHES "^light_module\\.cpp\\.(o|obj)/?$")
    message(FATAL_ERROR "${archive} holds ${members}, not the module as one translation unit")
  endif()
else()
  message(FATAL_ERROR "MODE is subdirectory or package")
endif()
if(TOOLCHAIN)
  list(APPEND consumer_args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run(${CMAKE_COMMAND} -S ${consumer} -B ${WORK}/consumer -DCMAKE_BUILD_TYPE=MinSizeRel ${consumer_args})
run(${CMAKE_COMMAND} --build ${WORK}/consumer -j 2)

# The consumer's own files compile with the consumer's flags only: no
# definition of light_ctrl's (a flash address, a board) may appear.
file(READ ${WORK}/consumer/compile_commands.json commands)
string(JSON count LENGTH ${commands})
math(EXPR last "${count} - 1")
set(checked 0)
foreach(i RANGE ${last})
  string(JSON file GET ${commands} ${i} file)
  string(JSON command GET ${commands} ${i} command)
  if(file MATCHES "tests/consumer/|Boards/template/")
    math(EXPR checked "${checked} + 1")
    string(REPLACE " -DNDEBUG" "" command "${command}") # the build type's own
    if(command MATCHES " -D")
      message(FATAL_ERROR "a definition reached the consumer's ${file}: ${command}")
    endif()
  endif()
endforeach()
if(checked LESS 5)
  message(FATAL_ERROR "only ${checked} of the consumer's files in compile_commands.json")
endif()
message(STATUS "consumer (${MODE}): built, ${checked} of its files compiled without light_ctrl's definitions")

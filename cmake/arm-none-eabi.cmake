# Cross build for the lamp's Cortex-M0 (no FPU): GNU Arm Embedded toolchain,
# newlib-nano, sections per function so the linker drops what is not called.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)
# Archives of link-time-optimised objects need the LTO plugin's symbol index.
set(CMAKE_AR arm-none-eabi-gcc-ar CACHE FILEPATH "")
set(CMAKE_RANLIB arm-none-eabi-gcc-ranlib CACHE FILEPATH "")
set(CMAKE_OBJCOPY arm-none-eabi-objcopy CACHE FILEPATH "")
set(CMAKE_SIZE arm-none-eabi-size CACHE FILEPATH "")
# No host-style executable can be linked without a board's startup and script.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Link-time optimisation (-flto): the module, its services and the board are
# optimised as one program, so the fade tick inlines the board's PWM write and
# the board's dispatcher the tick. One partition, serial: the program is small,
# and its code does not depend on the machine's number of jobs. The objects
# also carry their ordinary code (-ffat-lto-objects), so that an image linked
# with -fno-lto is the program as a firmware built without -flto gets it.
set(LIGHT_M0_FLAGS "-mcpu=cortex-m0 -mthumb -Os -g -ffunction-sections -fdata-sections -ffp-contract=off -flto -ffat-lto-objects")
set(CMAKE_C_FLAGS_INIT "${LIGHT_M0_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${LIGHT_M0_FLAGS} -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-use-cxa-atexit")
set(CMAKE_ASM_FLAGS_INIT "-mcpu=cortex-m0 -mthumb")
set(CMAKE_EXE_LINKER_FLAGS_INIT "--specs=nano.specs -Wl,--gc-sections -flto-partition=one")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

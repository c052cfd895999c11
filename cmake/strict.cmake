# Flags shared by every target: warnings as errors, and no compiler freedom over
# floating-point evaluation order (the light arithmetic is behaviour, bit for bit).
set(LIGHT_COMMON_FLAGS -Wall -Wextra -Wpedantic -Werror -ffp-contract=off)

# Firmware code (Light/, System/): also every narrowing written out, no exceptions,
# no RTTI.
function(light_strict target)
  target_compile_options(${target} PRIVATE ${LIGHT_COMMON_FLAGS} -Wconversion
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
endfunction()

function(light_host_flags target)
  target_compile_options(${target} PRIVATE ${LIGHT_COMMON_FLAGS})
endfunction()

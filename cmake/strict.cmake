# Flags of the project's own targets. -ffp-contract=off is behaviour, not
# style: the light arithmetic must round each float step on its own, so it
# holds whoever builds the module. Warnings are errors only in the project's
# own builds (LIGHT_WERROR), so a consumer's newer compiler cannot break theirs.
set(LIGHT_COMMON_FLAGS -Wall -Wextra -Wpedantic -ffp-contract=off $<$<BOOL:${LIGHT_WERROR}>:-Werror>)

# Firmware code (Light/, System/, the boards): also every narrowing written out,
# no exceptions, no RTTI.
function(light_strict target)
  target_compile_options(${target} PRIVATE ${LIGHT_COMMON_FLAGS} -Wconversion
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
  target_compile_features(${target} PRIVATE cxx_std_17 c_std_11)
endfunction()

# Host programs and tests.
function(light_host_flags target)
  target_compile_options(${target} PRIVATE ${LIGHT_COMMON_FLAGS})
  target_compile_features(${target} PRIVATE cxx_std_17 c_std_11)
endfunction()

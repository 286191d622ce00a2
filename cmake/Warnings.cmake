# Warnings for every target of the suite, through one INTERFACE target.
add_library(skygap_warnings INTERFACE)
target_compile_options(skygap_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wmissing-declarations
  -Wimplicit-fallthrough
  # A fused multiply-add changes the last bits, and so printed digits.
  -ffp-contract=off)
if(SKYGAP_WERROR)
  target_compile_options(skygap_warnings INTERFACE -Werror)
endif()

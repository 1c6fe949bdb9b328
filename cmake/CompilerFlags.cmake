# Warnings and floating-point rules shared by every target of the project.
#
# The output of velvane must not depend on the build machine: no fused
# multiply-add contraction, no -ffast-math, no -march=native.
add_library(project_options INTERFACE)
target_compile_options(project_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -ffp-contract=off)

if(VELVANE_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(project_options INTERFACE ${_san})
  target_link_options(project_options INTERFACE ${_san})
endif()

if(VELVANE_FUZZ)
  # Coverage for libFuzzer in every target; the fuzz programs link the fuzzer.
  target_compile_options(project_options INTERFACE -fsanitize=fuzzer-no-link)
  target_link_options(project_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

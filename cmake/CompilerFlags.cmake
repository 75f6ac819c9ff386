# Bit-exact arithmetic on every target: no fused multiply-add, IEEE single and
# double only (the i686 toolchain adds SSE2 math so x87 extended precision is never used).
add_compile_options(-ffp-contract=off)

# Warnings as errors for the project's own targets (not for third-party code built from source).
add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)

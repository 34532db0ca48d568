# Shared warning flags: every target links korvane::warnings PRIVATE.
add_library(korvane_warnings INTERFACE)
add_library(korvane::warnings ALIAS korvane_warnings)
target_compile_options(korvane_warnings INTERFACE -Wall -Wextra)

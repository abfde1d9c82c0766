# Warnings for our own targets only; third-party headers come in as system includes.
add_library(vorlaine_warnings INTERFACE)
target_compile_options(vorlaine_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
  -Wno-sign-conversion)
if(VORLAINE_WERROR)
  target_compile_options(vorlaine_warnings INTERFACE -Werror)
endif()

# One interface target carries the strict warnings and the sanitizer flags for every target of ours.
add_library(brindle_warnings INTERFACE)
target_compile_options(brindle_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
  $<$<BOOL:${BRINDLE_WERROR}>:-Werror>)
if(BRINDLE_SANITIZE)
  target_compile_options(brindle_warnings INTERFACE -fsanitize=${BRINDLE_SANITIZE} -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
  target_link_options(brindle_warnings INTERFACE -fsanitize=${BRINDLE_SANITIZE})
endif()

# One interface target carries the strict warnings and the sanitizer flags for every target of ours.
add_library(brindle_warnings INTERFACE)
if(MSVC)
  # The sources are UTF-8; without /utf-8 a Chinese Windows would read their texts as GBK.
  target_compile_options(brindle_warnings INTERFACE /W4 /utf-8 /permissive- /Zc:__cplusplus
    $<$<BOOL:${BRINDLE_WERROR}>:/WX>)
else()
  target_compile_options(brindle_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor $<$<BOOL:${BRINDLE_WERROR}>:-Werror>)
endif()
# GCC 12 reports std::string assignments as overlapping copies at -O2/-O3 (GCC bug 105329), a
# false positive that -Werror would turn into a broken release build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(brindle_warnings INTERFACE -Wno-restrict)
endif()
if(BRINDLE_SANITIZE)
  target_compile_options(brindle_warnings INTERFACE -fsanitize=${BRINDLE_SANITIZE} -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
  target_link_options(brindle_warnings INTERFACE -fsanitize=${BRINDLE_SANITIZE})
endif()
# Windows headers (which libcurl's header brings in) without their min and max macros and rarely
# used parts, in every file of ours.
if(WIN32)
  target_compile_definitions(brindle_warnings INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN)
endif()

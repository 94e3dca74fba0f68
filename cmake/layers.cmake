# brindle_layer(NAME DIR [DEPS ...]): a static library from every .cpp of DIR (recursively).
# Layers only link downwards, so nothing below the window can reach Qt.
function(brindle_layer name dir)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC brindle_warnings ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE brindle_warnings ${ARGN})
  endif()
endfunction()

# brindle_tests(DIR LABEL LIBS...): one GoogleTest executable per *_test.cpp in DIR, so a test can
# be built and run on its own. Names in BRINDLE_TESTS_NOT_BUILT are left out (tests of what this
# system does not build).
function(brindle_tests dir label)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  foreach(src ${srcs})
    get_filename_component(base ${src} NAME_WE)
    if(base IN_LIST BRINDLE_TESTS_NOT_BUILT OR
       (BRINDLE_SANITIZE STREQUAL "thread" AND base IN_LIST BRINDLE_TESTS_WITHOUT_THREADS))
      continue()
    endif()
    add_executable(${base} ${src})
    if(CMAKE_CROSSCOMPILING)
      # The test's own code unoptimised (a fifth less compile time); the program's libraries it
      # tests stay as they ship.
      target_compile_options(${base} PRIVATE -O0)
    endif()
    target_link_libraries(${base} PRIVATE ${ARGN} brindle_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    if(CMAKE_CROSSCOMPILING)
      # Under an emulator (Wine) every start costs seconds: one ctest test per program, run
      # whole, rather than one per test case.
      add_test(NAME ${base} COMMAND ${base})
      set_tests_properties(${base} PROPERTIES LABELS ${label})
    else()
      gtest_discover_tests(${base} DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${label} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endif()
    add_dependencies(${base} brindle-cli)
    if(TARGET brindle-sim)
      add_dependencies(${base} brindle-sim)
    endif()
  endforeach()
endfunction()

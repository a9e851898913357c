# Shared helpers for the project's CMake files.

# add_subdirectory for every direct child of DIR that has a CMakeLists.txt, in name order.
function(vellamor_add_subdirectories dir)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# vellamor_test(NAME LABELS l1 [l2] SOURCES ... [LIBS ...])
# One GoogleTest binary; every test case becomes its own CTest test carrying the labels.
function(vellamor_test name)
  cmake_parse_arguments(T "" "" "LABELS;SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vellamor_test_support GTest::gtest GTest::gmock
                        GTest::gtest_main)
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${T_LABELS}")
endfunction()

# vellamor_bench(NAME SOURCES ... [LIBS ...]): a Google Benchmark binary (BM_<Area>_<What>).
function(vellamor_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main)
  set_property(GLOBAL APPEND PROPERTY VELLAMOR_BENCHES ${name})
endfunction()

# vellamor_fuzz(NAME SOURCES ... [LIBS ...]): a libFuzzer target, built only in the fuzz preset.
function(vellamor_fuzz name)
  if(NOT VELLAMOR_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY VELLAMOR_FUZZERS ${name})
endfunction()

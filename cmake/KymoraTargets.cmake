# kymora_tests(NAME SOURCES... LIBS ...): one test program per folder, run through ctest.
function(kymora_tests name)
  if(NOT KYMORA_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KYMORA_EXTDATA=${CMAKE_SOURCE_DIR}/../shared/extdata;${T_ENV}")
endfunction()

# kymora_fuzzer(NAME SOURCE LIBS ...): a libFuzzer target, built only with KYMORA_FUZZ.
function(kymora_fuzzer name source)
  if(NOT KYMORA_FUZZ)
    return()
  endif()
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

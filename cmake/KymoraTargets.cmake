# Every test is stopped after this many seconds, however ctest is run: a test that hangs fails on its own
# instead of holding the whole run until CI gives up.
set(KYMORA_TEST_TIMEOUT 300)

# kymora_tests(NAME SOURCES... LIBS ...): one test program per folder, run through ctest.
function(kymora_tests name)
  if(NOT KYMORA_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  # The discovered tests' environment is set by a script of our own, read after their list: the properties
  # gtest_discover_tests passes on are split at every ';', so that a second variable would be lost.
  set(env "KYMORA_EXTDATA=${CMAKE_SOURCE_DIR}/../shared/extdata" ${T_ENV})
  set(envScript ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(WRITE ${envScript} "foreach(test IN LISTS ${name}_TESTS)\n"
                          "  set_tests_properties(\"\${test}\" PROPERTIES TIMEOUT ${KYMORA_TEST_TIMEOUT} ENVIRONMENT [==[${env}]==])\n"
                          "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${envScript})
endfunction()

# kymora_fuzzer(NAME SOURCE LIBS ...): a libFuzzer target, built only with KYMORA_FUZZ.
function(kymora_fuzzer name source)
  if(NOT KYMORA_FUZZ)
    return()
  endif()
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  if(NOT TARGET fuzzers)
    add_custom_target(fuzzers)
  endif()
  add_dependencies(fuzzers ${name})
endfunction()

# kymora_qt_tests(NAME SOURCES... LIBS ... [XVFB]): a QtTest program (one test per program), run through
# ctest on Qt's offscreen platform, or with XVFB on a real X server (xvfb-run). Qt's own libraries are not
# built with the sanitizers; the suppressions name only leaks that start inside them.
function(kymora_qt_tests name)
  if(NOT KYMORA_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "XVFB" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
  set(env "KYMORA_EXTDATA=${CMAKE_SOURCE_DIR}/../shared/extdata"
          "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/qt_lsan.supp:print_suppressions=0" ${T_ENV})
  if(T_XVFB)
    add_test(NAME ${name} COMMAND xvfb-run -a -s "-screen 0 1600x1000x24" $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
    list(APPEND env QT_QPA_PLATFORM=offscreen)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${KYMORA_TEST_TIMEOUT} ENVIRONMENT "${env}")
endfunction()

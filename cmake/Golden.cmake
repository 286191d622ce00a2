# End-to-end cases: one CTest test per folder below tests/golden/<program>/.
# Each runs the built program in a fresh folder and compares stdout, stderr, exit status and
# every file written, byte for byte (see tests/golden_runner.cpp).
add_executable(golden_runner ${CMAKE_SOURCE_DIR}/tests/golden_runner.cpp)
target_link_libraries(golden_runner PRIVATE skygap_warnings)
set_target_properties(golden_runner PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-bin)

# A case whose folder holds a file needs_libjpeg expects what a build reading JPEG photographs
# prints, through the libjpeg version the file names if it names one (gapbatch --version); in any
# other build it is registered disabled, shown by CTest as not run. A case whose folder holds a
# file needs_readers expects the photograph formats its first line names, exactly as the build
# names them (skyimage/CMakeLists.txt), and is disabled in a build that reads others.
function(skygap_golden_tests program)
  file(GLOB cases LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/golden/${program}/*)
  foreach(case ${cases})
    if(IS_DIRECTORY ${case})
      get_filename_component(name ${case} NAME)
      add_test(NAME golden.${program}.${name}
               COMMAND golden_runner ${case} $<TARGET_FILE:${program}>)
      set_tests_properties(golden.${program}.${name} PROPERTIES TIMEOUT 30 SKIP_RETURN_CODE 77)
      if(EXISTS ${case}/needs_libjpeg)
        file(STRINGS ${case}/needs_libjpeg wanted LIMIT_COUNT 1)
        find_package(JPEG QUIET)
        if(NOT JPEG_FOUND OR (NOT "${wanted}" STREQUAL "" AND
                              NOT "${JPEG_VERSION}" STREQUAL "${wanted}"))
          set_tests_properties(golden.${program}.${name} PROPERTIES DISABLED TRUE)
        endif()
      endif()
      if(EXISTS ${case}/needs_readers)
        file(STRINGS ${case}/needs_readers wanted LIMIT_COUNT 1)
        get_property(readers GLOBAL PROPERTY SKYGAP_READERS)
        if(NOT "${readers}" STREQUAL "${wanted}")
          set_tests_properties(golden.${program}.${name} PROPERTIES DISABLED TRUE)
        endif()
      endif()
    endif()
  endforeach()
endfunction()

# A GoogleTest unit-test executable registered with CTest.
#   skygap_unit_test(NAME SOURCES a_test.cpp ... LIBS lib ...)
function(skygap_unit_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main skygap_warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-bin)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()

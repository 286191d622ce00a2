# A program of the suite: the executable NAME from NAME.cpp, linked with LIBS, installed into
# bin/, with its end-to-end cases in tests/golden/NAME/ when the tests are built.
#   skygap_program(NAME LIBS lib ...)
function(skygap_program name)
  cmake_parse_arguments(P "" "" "LIBS" ${ARGN})
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  install(TARGETS ${name} RUNTIME DESTINATION bin)
  if(SKYGAP_TESTS)
    skygap_golden_tests(${name})
  endif()
endfunction()

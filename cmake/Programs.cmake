# The one list of the suite's programs. Each program NAME is a folder NAME/ holding its front end
# (NAME.cpp with run_NAME, main.cpp) and a CMakeLists.txt that calls skygap_program. This list
# drives the build, the golden cases (tests/golden/NAME/), the fuzz targets (fuzz/fuzz_NAME_*.cpp)
# and the bad-input matrix (tests/bad_input_test.cpp). Adding a program: its folder and one word
# here.
set(SKYGAP_PROGRAMS
    gapimage pasket tessor bravik quinda zephor keldro moskira gapbatch canopysim canopylight)

# A program of the suite: the library NAME_app from SOURCES (the front end, with run_NAME), the
# executable NAME from main.cpp, installed into bin/, with its end-to-end cases when the tests
# are built.
#   skygap_program(NAME SOURCES a.cpp ... LIBS lib ...)
function(skygap_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name}_app STATIC ${P_SOURCES})
  target_include_directories(${name}_app PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_app PUBLIC cli ${P_LIBS} skygap_warnings)
  add_executable(${name} main.cpp)
  target_link_libraries(${name} PRIVATE ${name}_app)
  install(TARGETS ${name} RUNTIME DESTINATION bin)
  if(SKYGAP_TESTS)
    skygap_golden_tests(${name})
  endif()
endfunction()

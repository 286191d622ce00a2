# The one list of the suite's programs. Each program NAME is a folder NAME/ holding its front end
# (NAME.cpp with run_NAME, main.cpp) and a CMakeLists.txt that calls skygap_program. This list
# drives the build, the golden cases (tests/golden/NAME/), the fuzz targets (fuzz/fuzz_NAME_*.cpp)
# and the bad-input matrix (tests/bad_input_test.cpp). Adding a program: its folder and one word
# here.
set(SKYGAP_PROGRAMS
    gapimage pasket tessor bravik quinda zephor keldro moskira gapbatch canopysim canopylight)

include(GNUInstallDirs)

# A program of the suite: the library NAME_app from SOURCES (the front end, with run_NAME), the
# executable NAME from main.cpp, installed into bin/ with its man page man/NAME.1 into
# share/man/man1, with its end-to-end cases and the check of its man page when the tests are
# built.
#   skygap_program(NAME SOURCES a.cpp ... LIBS lib ...)
function(skygap_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name}_app STATIC ${P_SOURCES})
  target_include_directories(${name}_app PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_app PUBLIC cli ${P_LIBS} skygap_warnings)
  add_executable(${name} main.cpp)
  target_link_libraries(${name} PRIVATE ${name}_app)
  install(TARGETS ${name} RUNTIME DESTINATION bin)
  install(FILES ${CMAKE_SOURCE_DIR}/man/${name}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          OPTIONAL)
  if(SKYGAP_TESTS)
    skygap_golden_tests(${name})
    add_test(NAME man.${name}
             COMMAND sh ${CMAKE_SOURCE_DIR}/tests/man_page_check.sh ${name}
                     ${CMAKE_SOURCE_DIR}/man/${name}.1 $<TARGET_FILE:${name}>)
    set_tests_properties(man.${name} PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77)
  endif()
endfunction()

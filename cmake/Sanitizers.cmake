# AddressSanitizer + UndefinedBehaviorSanitizer for the whole build.
# Division by zero in floating point is left alone: inf and NaN are legitimate results here.
if(SKYGAP_SANITIZE)
  set(_san -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
           -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(${_san})
endif()

# Fuzzing build: every library carries libFuzzer's coverage instrumentation; the fuzz targets
# themselves link libFuzzer (fuzz/CMakeLists.txt).
if(SKYGAP_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

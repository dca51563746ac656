# The native Linux build: the code that needs no Windows, under the sanitizers.
if(TARVELLO_SANITIZE)
  set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  foreach(target shred_core gtest gtest_main)
    target_compile_options(${target} PRIVATE ${sanitize})
  endforeach()
endif()

function(tarvello_native_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE shred_core GTest::gtest_main)
  if(TARVELLO_SANITIZE)
    target_compile_options(${name} PRIVATE ${sanitize})
    target_link_options(${name} PRIVATE ${sanitize})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "native.")
endfunction()

tarvello_native_test(shred_run_test tests/shred_run_test.cpp)

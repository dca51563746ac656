# The native Linux build: the code that needs no Windows, under the sanitizers.
if(TARVELLO_SANITIZE)
  set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  foreach(target shred_core skin_core gtest gtest_main)
    target_compile_options(${target} PRIVATE ${sanitize})
  endforeach()
endif()

function(tarvello_native_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE shred_core skin_core GTest::gtest_main)
  if(TARVELLO_SANITIZE)
    target_compile_options(${name} PRIVATE ${sanitize})
    target_link_options(${name} PRIVATE ${sanitize})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "native.")
endfunction()

tarvello_native_test(shred_run_test tests/shred_run_test.cpp)
tarvello_native_test(skin_geometry_test tests/skin_geometry_test.cpp)
tarvello_native_test(free_space_wipe_test tests/free_space_wipe_test.cpp)
tarvello_native_test(recycle_bin_test tests/recycle_bin_test.cpp)
tarvello_native_test(shred_record_test tests/shred_record_test.cpp)

# The adversary: the promises as invariants over random trees, selections and
# interference, through rapidcheck (it shrinks a failure to a small scenario).
find_package(rapidcheck REQUIRED)
add_executable(adversary_test tests/adversary_test.cpp)
target_link_libraries(adversary_test PRIVATE shred_core rapidcheck GTest::gtest)
if(TARVELLO_SANITIZE)
  target_compile_options(adversary_test PRIVATE ${sanitize})
  target_link_options(adversary_test PRIVATE ${sanitize})
endif()
gtest_discover_tests(adversary_test DISCOVERY_MODE PRE_TEST TEST_PREFIX "native.")

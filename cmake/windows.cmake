# The Windows build: the program, its Win32 parts and the tests run under Wine.
set(win32_libs user32 gdi32 msimg32 comctl32 comdlg32 kernel32 advapi32 shell32 shlwapi ole32 uuid bcrypt psapi rstrtmgr)

add_library(skin STATIC
  skin/shared_state.cpp
  skin/atlas.cpp
  skin/button_faces.cpp
  skin/skinned_button.cpp
  skin/flat_border.cpp
  skin/high_contrast.cpp
  skin/skin_manager.cpp)
target_link_libraries(skin PUBLIC skin_core ${win32_libs})
target_compile_definitions(skin PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# The shredding engine's Windows services; the engine itself is shred_core.
add_library(engine_win STATIC engine/win32/shred_services.cpp engine/win32/prompts.cpp engine/win32/recycle_bin.cpp engine/win32/record.cpp
                              engine/win32/folder_walk.cpp engine/win32/folder_handle.cpp
                              engine/win32/wipe_services.cpp engine/win32/recent_traces.cpp)
target_link_libraries(engine_win PUBLIC shred_core ${win32_libs})
target_compile_definitions(engine_win PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# The window: Form1, its lists and the progress dialog.
add_library(shred_win STATIC
  window/listbox_shred_list.cpp
  window/drive_list.cpp
  window/folder_list.cpp
  window/file_list.cpp
  window/hand_cursor.cpp
  window/shred_progress.cpp
  window/main_window.cpp)
target_link_libraries(shred_win PUBLIC engine_win skin ${win32_libs})

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(icon ${CMAKE_BINARY_DIR}/tarvello.ico)
add_custom_command(OUTPUT ${icon}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/make_icon.py
          ${CMAKE_SOURCE_DIR}/app/icon.txt ${icon}
  DEPENDS ${CMAKE_SOURCE_DIR}/app/icon.txt ${CMAKE_SOURCE_DIR}/scripts/make_icon.py
  COMMENT "Drawing the icon from its grid")
enable_language(RC)
set(resource_inputs ${icon} ${CMAKE_SOURCE_DIR}/app/version.rc ${CMAKE_SOURCE_DIR}/app/tarvello.manifest)
set_source_files_properties(app/tarvello.rc app/tarvello-cli.rc PROPERTIES OBJECT_DEPENDS
                            "${resource_inputs}")

add_executable(tarvello WIN32 app/main.cpp app/explorer_entries.cpp app/console_print.cpp
                              app/tarvello.rc)
target_include_directories(tarvello PRIVATE ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/app)
target_link_libraries(tarvello PRIVATE shred_win ole32 uuid)

# The console companion: the same engine, no window.
add_executable(tarvello-cli app/cli_main.cpp app/console_print.cpp app/tarvello-cli.rc)
target_include_directories(tarvello-cli PRIVATE ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/app)
target_link_libraries(tarvello-cli PRIVATE engine_win)
if(MINGW)
  target_link_options(tarvello-cli PRIVATE -municode -static)
endif()
set_target_properties(tarvello-cli PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(MINGW)
  # wWinMain, and one .exe with no DLL beside it also when built on Windows.
  target_link_options(tarvello PRIVATE -municode -static)
endif()
set_target_properties(tarvello PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

function(tarvello_wine_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE shred_win GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "wine." DISCOVERY_TIMEOUT 60)
endfunction()

tarvello_wine_test(shred_files_test tests/shred_files_test.cpp tests/box_answerer.cpp
                   tests/temp_folder.cpp)
tarvello_wine_test(main_window_test tests/main_window_test.cpp tests/box_answerer.cpp
                   tests/temp_folder.cpp tests/skin_test_util.cpp)

# Raw NTFS and ext4 images, made and scanned from the Linux side.
tarvello_wine_test(raw_disk_test tests/raw_disk_test.cpp tests/raw_disk.cpp tests/temp_folder.cpp
                   tests/box_answerer.cpp)
target_compile_definitions(raw_disk_test PRIVATE TARVELLO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
tarvello_wine_test(image_adversary_test tests/image_adversary_test.cpp tests/raw_disk.cpp
                   tests/temp_folder.cpp)
target_compile_definitions(image_adversary_test PRIVATE TARVELLO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# Needs real pixels on a screen: run on a virtual display.
add_executable(e2e_test tests/e2e_test.cpp tests/box_answerer.cpp tests/screenshot.cpp
                        tests/temp_folder.cpp)
target_link_libraries(e2e_test PRIVATE shred_win GTest::gtest_main)
add_dependencies(e2e_test tarvello)
gtest_discover_tests(e2e_test DISCOVERY_MODE PRE_TEST TEST_PREFIX "wine." PROPERTIES LABELS display)

# Benchmarks: run by scripts/bench.sh, never by the tests.
add_executable(bench_shred_run bench/shred_run.cpp tests/temp_folder.cpp)
target_link_libraries(bench_shred_run PRIVATE shred_win ole32 uuid)
add_executable(bench_file_list bench/file_list.cpp tests/temp_folder.cpp)
target_link_libraries(bench_file_list PRIVATE shred_win)
target_link_options(bench_file_list PRIVATE -municode)

set(skin_test_support tests/skin_test_util.cpp tests/api_counter.cpp)
tarvello_wine_test(skin_faces_test tests/skin_faces_test.cpp ${skin_test_support})
tarvello_wine_test(skinned_button_test tests/skinned_button_test.cpp tests/message_log.cpp
                   ${skin_test_support})
tarvello_wine_test(skin_manager_test tests/skin_manager_test.cpp tests/message_log.cpp
                   ${skin_test_support})
tarvello_wine_test(shred_destroy_test tests/shred_destroy_test.cpp tests/temp_folder.cpp
                   tests/skin_test_util.cpp tests/api_counter.cpp)
add_executable(bench_free_space bench/free_space.cpp)
target_link_libraries(bench_free_space PRIVATE engine_win)
target_link_options(bench_free_space PRIVATE -municode)
add_executable(bench_overwrite bench/overwrite.cpp tests/temp_folder.cpp)
target_link_libraries(bench_overwrite PRIVATE shred_win)
add_executable(bench_record bench/record.cpp tests/temp_folder.cpp)
target_link_libraries(bench_record PRIVATE engine_win)
add_executable(bench_walk bench/walk.cpp tests/temp_folder.cpp)
target_link_libraries(bench_walk PRIVATE engine_win)
target_link_options(bench_walk PRIVATE -municode)
foreach(name compose fade)
  add_executable(bench_${name} bench/${name}.cpp)
  target_link_libraries(bench_${name} PRIVATE shred_win)
endforeach()

# The programs run from a test: hand-over, Explorer entries, the console companion.
add_executable(command_line_test tests/command_line_test.cpp tests/screenshot.cpp app/explorer_entries.cpp
                                 tests/box_answerer.cpp tests/temp_folder.cpp tests/raw_disk.cpp)
target_compile_definitions(command_line_test PRIVATE TARVELLO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(command_line_test PRIVATE shred_win ole32 uuid GTest::gtest_main)
add_dependencies(command_line_test tarvello tarvello-cli)
gtest_discover_tests(command_line_test DISCOVERY_MODE PRE_TEST TEST_PREFIX "wine.")

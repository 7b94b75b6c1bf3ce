# The Windows program and its tests (run under Wine by scripts/test.sh).
enable_language(RC)
enable_testing()

set(LANYING_WIN_DEFINES WINVER=0x0A00 _WIN32_WINNT=0x0A00 _WIN32_IE=0x0A00 NOMINMAX STRICT)
set(LANYING_SYSTEM_LIBS user32 gdi32 shell32 shlwapi comdlg32 comctl32 ole32 oleaut32 uuid winmm)

file(GLOB LANYING_APP_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/ui/*.cpp)
list(FILTER LANYING_APP_SOURCES EXCLUDE REGEX "/app/main_win\\.cpp$")
lanying_filter(LANYING_APP_SOURCES)

# Everything but the entry point, so the Win32 tests can call into it directly.
add_library(lanying_win STATIC ${LANYING_CORE_SOURCES} ${LANYING_WIN_SOURCES} ${LANYING_APP_SOURCES})
target_include_directories(lanying_win PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(lanying_win PUBLIC ${LANYING_WIN_DEFINES})
target_compile_options(lanying_win PRIVATE ${LANYING_WARNINGS} ${LANYING_CHARSET_FLAGS})
target_link_libraries(lanying_win PUBLIC lanying_deps ${LANYING_SYSTEM_LIBS})

set(LANYING_STATIC_LINK -static -static-libgcc -static-libstdc++)

# The program itself only when the filter kept the application sources it needs.
if(EXISTS ${CMAKE_SOURCE_DIR}/app/main_win.cpp AND LANYING_APP_SOURCES)
  add_executable(lanying WIN32 ${CMAKE_SOURCE_DIR}/app/main_win.cpp ${CMAKE_SOURCE_DIR}/app/lanying.rc)
  target_compile_options(lanying PRIVATE ${LANYING_WARNINGS} ${LANYING_CHARSET_FLAGS})
  target_link_libraries(lanying PRIVATE lanying_win)
  target_link_options(lanying PRIVATE ${LANYING_STATIC_LINK})
  # windres reads the .rc as UTF-8 and must see the assets folder.
  set_source_files_properties(${CMAKE_SOURCE_DIR}/app/lanying.rc PROPERTIES
    COMPILE_FLAGS "-c 65001 -I${CMAKE_SOURCE_DIR}/assets -I${CMAKE_SOURCE_DIR}/app")
endif()

# Win32 tests: one GoogleTest program, each test run as its own ctest case under Wine.
find_package(GTest REQUIRED)
file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
lanying_filter(WIN_TEST_SOURCES)
if(WIN_TEST_SOURCES)
  add_executable(win_tests ${WIN_TEST_SOURCES})
  target_compile_options(win_tests PRIVATE ${LANYING_WARNINGS} ${LANYING_CHARSET_FLAGS})
  target_compile_definitions(win_tests PRIVATE LANYING_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(win_tests PRIVATE lanying_win GTest::gtest GTest::gtest_main)
  target_link_options(win_tests PRIVATE ${LANYING_STATIC_LINK})
  if(TARGET lanying)
    add_dependencies(win_tests lanying)
  endif()
  include(GoogleTest)
  gtest_add_tests(TARGET win_tests SOURCES ${WIN_TEST_SOURCES} TEST_LIST WIN_TESTS)
  set_tests_properties(${WIN_TESTS} PROPERTIES TIMEOUT 180)
  # Two hundred captures, about 0.7 s each under Wine.
  set_tests_properties(CaptureStress.TwoHundredCapturesLeaveObjectCountsAndMemoryFlat PROPERTIES TIMEOUT 600)

  # The files the save tests wrote, read by decoders that are not ours (ImageMagick, pngcheck). The test
  # script names the folder in LANYING_OUTPUT_SAMPLES_FOLDER; without it there is nothing to check.
  list(FILTER WIN_TESTS INCLUDE REGEX "^OutputSaveTest\\.")
  add_test(NAME saved_files_pass_independent_decoders
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win/output_support.sh check ${CMAKE_BINARY_DIR}/output-samples)
  set_tests_properties(saved_files_pass_independent_decoders PROPERTIES DEPENDS "${WIN_TESTS}" SKIP_RETURN_CODE 77)

  # The main test display is 1920x1080; the whole-screen captures again on a 4K screen of their own.
  add_test(NAME capture_on_a_3840x2160_screen
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win/at_screen_size.sh 3840x2160 $<TARGET_FILE:win_tests>
                   "CaptureSessionTest.FullScreen*:CaptureSessionTest.Pointer*:SnapshotTest.*")
  set_tests_properties(capture_on_a_3840x2160_screen PROPERTIES TIMEOUT 600)
endif()

if(TARGET lanying)
  add_test(NAME program_imports_only_system_dlls
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-imports.sh $<TARGET_FILE:lanying>)
endif()

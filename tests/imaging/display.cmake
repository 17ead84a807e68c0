# Display picture, crop, image files, histogram and levels.
corvalis_add_test(test_display
  SOURCES cdib_test.cpp cdib_load_bmp_test.cpp histogram_levels_test.cpp crop_test.cpp show_file_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/driver/allocation_control.cpp
  LIBS vantelo_core Qt6::Gui opencv::core opencv::imgcodecs Threads::Threads
  ENV QT_QPA_PLATFORM=offscreen)
target_compile_definitions(test_display PRIVATE
  BMP_REGRESSIONS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/bmp_regressions")

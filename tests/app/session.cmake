# The camera session and the program's file locations, without a display.
corvalis_add_test(test_camera_session
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/camera_session_test.cpp
  LIBS corvalis_app)

# Where the program's files live, under chosen environment variables.
corvalis_add_test(test_program_files
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/program_files_test.cpp
  LIBS corvalis_app)

# The image window: its preview loop, the sharpen filter, the view and the child frame.
corvalis_add_test(preview_loop_test
  SOURCES preview_loop_test.cpp ${CMAKE_SOURCE_DIR}/tests/driver/allocation_control.cpp
  LIBS corvalis_app)
corvalis_add_test(sharpen_filter_test SOURCES sharpen_filter_test.cpp LIBS corvalis_app)
corvalis_add_test(kd_gel_view_test SOURCES kd_gel_view_test.cpp LIBS corvalis_app
  ENV QT_QPA_PLATFORM=offscreen)
corvalis_add_test(child_frame_test
  SOURCES child_frame_test.cpp ${CMAKE_SOURCE_DIR}/tests/driver/allocation_control.cpp
  LIBS corvalis_app
  ENV QT_QPA_PLATFORM=offscreen CORVALIS_CAMERA=simulator CORVALIS_SIM_TIMESCALE=0.05)

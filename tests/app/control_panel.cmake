# The control panel: its conversions and number rule alone, its logic over a recording
# camera, and the panel itself on the simulated camera.
corvalis_add_test(test_picture_values
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/picture_values_test.cpp
  LIBS corvalis_app)

corvalis_add_test(test_camera_controls
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/camera_controls_test.cpp
  LIBS corvalis_app)

corvalis_add_test(test_camera_panel
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/camera_panel_test.cpp
  LIBS corvalis_app Qt6::Test
  ENV QT_QPA_PLATFORM=offscreen CORVALIS_CAMERA=simulator CORVALIS_SIM_TIMESCALE=0
      LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp)

corvalis_add_test(test_camera_panel_nimbus
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/camera_panel_nimbus_test.cpp
  LIBS corvalis_app Qt6::Test
  ENV QT_QPA_PLATFORM=offscreen CORVALIS_CAMERA=simulator-nimbus CORVALIS_SIM_TIMESCALE=0
      LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp)

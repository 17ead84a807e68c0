# The shell's arithmetic and tables alone (no camera library needed), and the main
# frame with the panels on the simulated camera.
corvalis_add_test(test_shell_logic
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/shell_logic_test.cpp
          ${PROJECT_SOURCE_DIR}/app/shell/hotplug_watcher.cpp ${PROJECT_SOURCE_DIR}/app/ui/message_box.cpp
          ${PROJECT_SOURCE_DIR}/app/ui/messages.cpp ${PROJECT_SOURCE_DIR}/app/config/function_keys.cpp
          ${PROJECT_SOURCE_DIR}/app/session/window_fit.cpp
  LIBS corvalis_platform corvalis_common Qt6::Widgets
  ENV QT_QPA_PLATFORM=offscreen CORVALIS_CAMERA=simulator)
target_include_directories(test_shell_logic PRIVATE ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/imaging/include)

corvalis_add_test(test_main_frame
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/main_frame_test.cpp ${PROJECT_SOURCE_DIR}/tests/driver/allocation_control.cpp
  LIBS corvalis_app Qt6::Test
  ENV QT_QPA_PLATFORM=offscreen CORVALIS_CAMERA=simulator CORVALIS_SIM_TIMESCALE=0.01
      LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp)

corvalis_add_test(test_view_printing
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_printing_test.cpp
  LIBS corvalis_app
  ENV QT_QPA_PLATFORM=offscreen)

corvalis_add_test(test_customize_dialog
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/customize_dialog_test.cpp
  LIBS corvalis_app
  ENV QT_QPA_PLATFORM=offscreen)

# The captured-frame list and its saved files, on the simulated first-family camera.
set(frame_list_env CORVALIS_CAMERA=simulator CORVALIS_SIM_TIMESCALE=0 QT_QPA_PLATFORM=offscreen)
corvalis_add_test(test_frame_list
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_list_test.cpp
  LIBS vantelo_core Qt6::Gui
  ENV ${frame_list_env})
corvalis_add_test(test_frame_save
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_save_test.cpp ${CMAKE_SOURCE_DIR}/tests/driver/allocation_control.cpp
  LIBS vantelo_core Qt6::Gui opencv::core opencv::imgcodecs
  ENV ${frame_list_env})
# FITS saves, read back with cfitsio; the Bayer pattern proved with OpenCV's demosaic.
corvalis_add_test(test_frame_fits
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_fits_test.cpp
  LIBS vantelo_core Qt6::Gui opencv::core opencv::imgproc PkgConfig::cfitsio
  ENV ${frame_list_env})

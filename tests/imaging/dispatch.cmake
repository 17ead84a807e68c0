# Camera detection and command dispatch.
# Against recording doubles of both camera libraries.
corvalis_add_test(test_dispatch
  SOURCES dispatch_table_test.cpp dispatch_exports_test.cpp dispatch_fakes.cpp
  LIBS vantelo_core)

# Detection on simulated device lists, and the real first-family driver on its
# simulated camera.
corvalis_add_test(test_dispatch_ostra
  SOURCES dispatch_scanner_test.cpp dispatch_ostra_sim_test.cpp
  LIBS vantelo_core
  ENV CORVALIS_CAMERA=simulator CORVALIS_SIM_TIMESCALE=0)

# The real second-family library on its simulated device; the choice of simulated
# device is read once per process, so it has a binary of its own.
corvalis_add_test(test_dispatch_nimbus
  SOURCES dispatch_nimbus_sim_test.cpp
  LIBS vantelo_core
  ENV CORVALIS_CAMERA=simulator-nimbus CORVALIS_SIM_TIMESCALE=0)

# libvantelo.so itself: its exported names, its binding to the camera libraries, and
# the dispatcher's life through Mes_Init and Mes_UnInit.
corvalis_add_test(test_vantelo_library
  SOURCES vantelo_symbols_test.cpp dispatch_library_test.cpp
  LIBS vantelo corvalis_platform corvalis_test_support)
target_compile_definitions(test_vantelo_library PRIVATE VANTELO_LIBRARY_FILE="$<TARGET_FILE:vantelo>")

# The second family's read-outs and decode, directly against the library's workings.
corvalis_add_test(test_nimbus_formats
  SOURCES readout_decode_test.cpp
  LIBS nimbus_core)

# libnimbus.so through its exports only, on the simulated second-family device; the
# symbol test reads the library file itself.
corvalis_add_test(test_nimbus_exports
  SOURCES nimbus_exports_test.cpp nimbus_symbols_test.cpp
  LIBS nimbus corvalis_platform corvalis_test_support
  ENV CORVALIS_CAMERA=simulator-nimbus CORVALIS_SIM_TIMESCALE=0)
target_compile_definitions(test_nimbus_exports PRIVATE NIMBUS_LIBRARY_FILE="$<TARGET_FILE:nimbus>")

# The device list is chosen once per process, so "no second-family device" runs alone.
corvalis_add_test(test_nimbus_without_device
  SOURCES nimbus_without_device_test.cpp
  LIBS nimbus
  ENV CORVALIS_CAMERA=simulator CORVALIS_SIM_TIMESCALE=0)

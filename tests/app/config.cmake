# The settings configurations in Config.xml and the stored serial-port choice, without
# a display. Inputs the fuzzer (scripts/fuzz-config-xml.sh) found are replayed from
# config_xml_regressions/.
corvalis_add_test(test_config_store
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/config_store_test.cpp
  LIBS corvalis_app)
target_compile_definitions(test_config_store PRIVATE
  CONFIG_XML_REGRESSIONS_DIR="${CMAKE_CURRENT_LIST_DIR}/config_xml_regressions")

corvalis_add_test(test_serial_port_choice
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_port_choice_test.cpp
  LIBS corvalis_app corvalis_common)

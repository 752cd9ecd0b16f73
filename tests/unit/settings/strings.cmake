vrn_add_test(NAME test_string_table LABEL settings
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_string_table.cpp
  LIBS monitor_strings)
vrn_add_test(NAME test_string_table_language LABEL settings
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_string_table_language.cpp
  LIBS monitor_strings
  EXTRA_LABELS race)

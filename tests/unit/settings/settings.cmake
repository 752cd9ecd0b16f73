# Tests of the settings store, INI access, address books and login rules.
vrn_add_test(NAME test_settings_ini LABEL settings
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_ini_file.cpp ${CMAKE_CURRENT_LIST_DIR}/test_atomic_file.cpp
  LIBS monitor_settings)
vrn_add_test(NAME test_settings_store LABEL settings
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_settings_store.cpp
  LIBS monitor_settings)
vrn_add_test(NAME test_settings_books LABEL settings
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_address_book.cpp ${CMAKE_CURRENT_LIST_DIR}/test_login_rules.cpp
  LIBS monitor_settings)
vrn_add_test(NAME test_settings_race LABEL settings EXTRA_LABELS race
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_settings_race.cpp
  LIBS monitor_settings)

# The saved file as a real INI consumer (Python's configparser) reads it.
if(NOT VRN_FUZZ)
  add_executable(settings_ini_writer ${CMAKE_CURRENT_LIST_DIR}/settings_ini_writer.cpp)
  target_include_directories(settings_ini_writer PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(settings_ini_writer PRIVATE monitor_settings)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_Interpreter_FOUND)
    vrn_add_script_test(NAME settings_configparser_reads_saved_file LABEL settings
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_settings_configparser.py
              $<TARGET_FILE:settings_ini_writer>)
  endif()
endif()

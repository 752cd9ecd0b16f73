# monitor_settings: INI access, the settings store, the address books and the login rules.
add_library(monitor_settings STATIC
  ${CMAKE_CURRENT_LIST_DIR}/AtomicFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IniDocument.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IniFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AddressBook.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LoginRules.cpp)
target_include_directories(monitor_settings PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_features(monitor_settings PUBLIC cxx_std_20)
# MD5 for the login digest, Base64 for the stored SMTP password.
target_link_libraries(monitor_settings PUBLIC monitor_codec Threads::Threads)

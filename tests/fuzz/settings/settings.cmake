# libFuzzer targets for the INI reader and the address-book loader (fuzz preset only).
vrn_add_fuzzer(NAME fuzz_settings_ini
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_ini_reader.cpp
  LIBS monitor_settings
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds/ini)
vrn_add_fuzzer(NAME fuzz_settings_books
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_address_book.cpp
  LIBS monitor_settings
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds/book)

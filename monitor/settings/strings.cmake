# The two-language string table: plain C++, no dependencies, usable by the core, the
# headless program and the tools.
add_library(monitor_strings STATIC
  ${CMAKE_CURRENT_LIST_DIR}/StringTable.cpp)
target_include_directories(monitor_strings PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_features(monitor_strings PUBLIC cxx_std_20)

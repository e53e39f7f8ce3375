# The fuzz targets' logic as a plain library, shared by the libFuzzer
# binaries (fuzz/CMakeLists.txt) and the regression test of the normal build
# (tests/fuzz_regressions). MERVANE_FUZZ_DATA is where the kept inputs are.
if(NOT TARGET mervane_fuzz_logic)
  add_library(mervane_fuzz_logic STATIC
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_settings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_command_line.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_url_conversion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_http_response.cpp
  )
  target_link_libraries(mervane_fuzz_logic PUBLIC mervane_app_core mervane_settings mervane_net Threads::Threads)
  target_compile_definitions(mervane_fuzz_logic INTERFACE MERVANE_FUZZ_DATA="${CMAKE_CURRENT_LIST_DIR}")
endif()

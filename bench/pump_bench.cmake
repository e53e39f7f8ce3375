add_executable(bare_timer ${CMAKE_CURRENT_SOURCE_DIR}/bare_timer.cpp)
target_link_libraries(bare_timer PRIVATE ${wxWidgets_LIBRARIES})

if(TARGET mervane_test_support)
  add_executable(pump_bench ${CMAKE_CURRENT_SOURCE_DIR}/pump_bench.cpp)
  target_link_libraries(pump_bench PRIVATE mervane_test_support)
  target_compile_definitions(pump_bench PRIVATE MERVANE_BARE_TIMER="$<TARGET_FILE:bare_timer>")
endif()

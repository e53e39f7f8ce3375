# Stream transfer benchmark: a plain timed program against a loopback peer.
if(TARGET mervane_test_support)
  add_executable(stream_bench
    ${CMAKE_CURRENT_LIST_DIR}/stream_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/net/raw_peer.cpp)
  target_include_directories(stream_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/net)
  target_link_libraries(stream_bench PRIVATE mervane_net mervane_test_support)
endif()

# The loopback HTTP services that the tests and the benchmarks share: nothing
# they run may reach the network.
set(loopback_srcs
  ${CMAKE_CURRENT_LIST_DIR}/loopbackhttpserver.cpp ${CMAKE_CURRENT_LIST_DIR}/loopbackhttpserver.h
  ${CMAKE_CURRENT_LIST_DIR}/loopbackmapservice.cpp ${CMAKE_CURRENT_LIST_DIR}/loopbackmapservice.h)
add_library(routereel_loopback STATIC ${loopback_srcs})
target_include_directories(routereel_loopback PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(routereel_loopback PUBLIC Qt6::Core Qt6::Gui Qt6::Network)

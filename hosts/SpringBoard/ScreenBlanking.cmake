# SpringBoard's screen on command (SIGUSR1 blanks, SIGUSR2 lights), for tests and the demo.
target_sources(host_SpringBoard PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ScreenBlanking.cpp)
target_link_libraries(host_SpringBoard PRIVATE notify dispatch Foundation Threads::Threads)

# SpringBoard's lock screen drawn with the renderer (a library: `vellamor video` draws the same
# screen), and its control service.
add_library(springboard_screen STATIC ${CMAKE_CURRENT_LIST_DIR}/LockScreenScreen.cpp)
target_include_directories(springboard_screen PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(springboard_screen PUBLIC springboard_classes host_screen
                                                colorflow_notifications Renderer QuartzCore)

target_sources(host_SpringBoard PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SpringBoardControl.cpp)
target_link_libraries(host_SpringBoard PRIVATE springboard_screen host_control host_frames Renderer
                                               QuartzCore notify Foundation)

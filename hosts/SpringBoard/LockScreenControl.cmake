# SpringBoard's lock screen drawn with the renderer, and its control service.
target_sources(host_SpringBoard PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ArtworkImage.cpp
                                        ${CMAKE_CURRENT_LIST_DIR}/LockScreenScreen.cpp
                                        ${CMAKE_CURRENT_LIST_DIR}/SpringBoardControl.cpp)
target_include_directories(host_SpringBoard PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(host_SpringBoard PRIVATE host_control Renderer QuartzCore notify Foundation
                                               ${CMAKE_DL_LIBS})

# The audio daemon's engine (sources, outputs, the render thread), a library of its own so that
# tests drive it in-process. Included by this host's CMakeLists.txt.
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(PULSE_SIMPLE REQUIRED IMPORTED_TARGET libpulse-simple libpulse)

add_library(mediaserverd_engine STATIC
  ${CMAKE_CURRENT_LIST_DIR}/AudioEngineOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioEngine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SynthesisedTrack.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileSource.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LiveCaptureSource.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NullSink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseSink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WavWriter.cpp)
target_include_directories(mediaserverd_engine PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(mediaserverd_engine PUBLIC AudioToolbox Foundation Threads::Threads
                      PkgConfig::SNDFILE PkgConfig::PULSE_SIMPLE)

// mediaserverd: the audio daemon. It names itself, lets the tweaks load (so a hook of
// AudioUnitRender is in place before the first render), starts its audio engine, offers its
// control service and serves its main run loop.

#include <HostCommon/HostProgram.h>

#include <cstdio>

#if VELLAMOR_AUDIO_ENGINE
#include <memory>
#include <string>

#include "AudioControl.h"
#include "AudioEngine.h"
#endif

int main(int argc, char** argv) {
  host::HostProgram program("com.apple.mediaserverd");
  program.start(nullptr);
#if VELLAMOR_AUDIO_ENGINE
  std::string error;
  auto options = audioEngineOptionsFromProcess(argc, argv, &error);
  if (!options) {
    std::fprintf(stderr, "mediaserverd: %s\n", error.c_str());
    return 2;
  }
  auto engine = std::make_unique<AudioEngine>(*options);
  if (!engine->start(&error)) {
    std::fprintf(stderr, "mediaserverd: %s\n", error.c_str());
    return 1;
  }
  mediaserverd::startControlService(engine.get());
  const int code = program.run();
  engine->stop();
  return code;
#else
  (void)argc;
  (void)argv;
  return program.run();
#endif
}

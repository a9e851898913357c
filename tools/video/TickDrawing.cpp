#include "TickDrawing.h"

#include <chrono>
#include <thread>

#include "PicturePool.h"
#include "Renderer/Renderer.h"

namespace video {
namespace {

constexpr std::chrono::milliseconds kProgressWhileWaiting{250};

// The encoding thread: pictures and audio in the order they were drawn. False (and the pool
// abandoned) when the encoder fails.
bool encodeAll(VideoEncoder& encoder, PicturePool& pool, std::string* error) {
  bool written = true;
  while (EncodingWork* work = written ? pool.next() : nullptr) {
    written = (!work->hasPicture ||
               encoder.addPicture(work->picture.rgba.data(), work->picture.width * 4, error)) &&
              encoder.addAudio(work->left.data(), work->right.data(), work->left.size(), error);
    pool.recycle();
  }
  if (written) written = encoder.finish(error);
  if (!written) pool.abandon();
  return written;
}

// The audio read since the last tick into `work`, in storage it keeps.
void takeAudio(SongCapture& capture, EncodingWork& work) {
  work.left.assign(capture.freshLeft().begin(), capture.freshLeft().end());
  work.right.assign(capture.freshRight().begin(), capture.freshRight().end());
  capture.takeFresh();
}

}  // namespace

TickOutcome drawAndEncode(SongCapture& capture, VideoScene& scene, VideoEncoder& encoder,
                          unsigned sampleRate, const std::atomic<bool>& stop,
                          const std::function<void(int ticks)>& progress) {
  render::RenderOptions renderOptions;
  renderOptions.scale = scene.scale;
  render::Renderer renderer(renderOptions);
  PicturePool pool(kPicturesInFlight, static_cast<std::size_t>(scene.width),
                   static_cast<std::size_t>(scene.height));
  std::string encodingError;
  bool encoded = false;
  std::thread encoding([&] { encoded = encodeAll(encoder, pool, &encodingError); });

  TickOutcome outcome;
  const std::function<void()> waiting = [&] { progress(outcome.ticks); };
  auto* history = const_cast<serverDataStruct*>(&capture.history());
  const std::int64_t rate = sampleRate;
  for (;; ++outcome.ticks) {
    // Tick n shows the audio up to n/30 s: every render that has ended by then is merged.
    const std::int64_t sample = outcome.ticks * rate / kTicksPerSecond;
    if (!capture.renderUpTo(sample)) {
      outcome.ending = TickOutcome::Ending::undecodable;
      break;
    }
    if (stop) {
      outcome.ending = TickOutcome::Ending::stopped;
      break;
    }
    if (!capture.holdsSample(sample)) break;
    EncodingWork* work = pool.freeSlot(waiting, kProgressWhileWaiting);
    if (work == nullptr) break;
    // The lock screen's drawing task: the visible plot draws from the history record itself.
    msgSend<void>(scene.plot.get(), "updateDataAndDraw:", history);
    renderer.draw(scene.root);
    renderer.copyImage(work->picture);
    work->hasPicture = true;
    takeAudio(capture, *work);
    pool.send();
    if (outcome.ticks % 10 == 0) progress(outcome.ticks);
  }
  // The song's audio after the last tick.
  if (outcome.ending == TickOutcome::Ending::complete) {
    if (EncodingWork* work = pool.freeSlot(waiting, kProgressWhileWaiting)) {
      work->hasPicture = false;
      takeAudio(capture, *work);
      pool.send();
    }
  }
  pool.close();
  encoding.join();
  if (!encoded && outcome.ending == TickOutcome::Ending::complete) {
    outcome.ending = TickOutcome::Ending::encodingFailed;
    outcome.encodingError = encodingError;
  }
  return outcome;
}

}  // namespace video

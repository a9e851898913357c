#pragma once
// The render server: a thread of its own that rasterises committed layer trees one after
// another, as the phone's render server composites what the apps committed. The thread that
// commits (a host's main thread) only hands over an immutable snapshot and never waits for
// pixels; what becomes of the picture (a PNG, a frame for the live page) is the delivery's
// business, done on the server's thread.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "Renderer/Image.h"
#include "Renderer/LayerSnapshot.h"
#include "Renderer/Renderer.h"

namespace render {

class RenderServer {
 public:
  // Runs on the server's thread with the picture drawn from one commit. The picture is the
  // server's one kept buffer, valid until the delivery returns.
  using Delivery = std::function<void(const Image& picture)>;

  explicit RenderServer(std::size_t queueLimit = 8);
  // Drops what is still queued and waits for the picture being drawn.
  ~RenderServer();
  RenderServer(const RenderServer&) = delete;
  RenderServer& operator=(const RenderServer&) = delete;

  // Queues `tree` to be drawn at `scale` device pixels per point; false (and nothing queued)
  // when `queueLimit` commits are already waiting.
  bool commit(std::shared_ptr<const LayerSnapshot> tree, double scale, Delivery deliver);

  // Commits queued or being drawn.
  std::size_t pending() const;

 private:
  struct Job {
    std::shared_ptr<const LayerSnapshot> tree;
    double scale;
    Delivery deliver;
  };

  void serve();
  Renderer& rendererFor(double scale);

  const std::size_t queueLimit_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;
  std::size_t drawing_ = 0;
  bool stopping_ = false;
  // Server thread only: one renderer per scale in use, each keeping its surface.
  std::unique_ptr<Renderer> renderers_[2];
  Image picture_;  // read back into, frame after frame
  std::thread thread_;
};

}  // namespace render

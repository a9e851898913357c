#include "Renderer/RenderServer.h"

#include <pthread.h>

namespace render {

RenderServer::RenderServer(std::size_t queueLimit)
    : queueLimit_(queueLimit > 0 ? queueLimit : 1), thread_([this] { serve(); }) {}

RenderServer::~RenderServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  thread_.join();
}

bool RenderServer::commit(std::shared_ptr<const LayerSnapshot> tree, double scale,
                          Delivery deliver) {
  if (!tree) return false;
  {
    std::lock_guard lock(mutex_);
    if (queue_.size() >= queueLimit_) return false;
    queue_.push_back({std::move(tree), scale, std::move(deliver)});
  }
  wake_.notify_one();
  return true;
}

std::size_t RenderServer::pending() const {
  std::lock_guard lock(mutex_);
  return queue_.size() + drawing_;
}

Renderer& RenderServer::rendererFor(double scale) {
  for (auto& renderer : renderers_)
    if (renderer && renderer->options().scale == scale) return *renderer;
  // The older of the two makes room.
  std::swap(renderers_[0], renderers_[1]);
  RenderOptions options;
  options.scale = scale;
  renderers_[0] = std::make_unique<Renderer>(options);
  return *renderers_[0];
}

void RenderServer::serve() {
  pthread_setname_np(pthread_self(), "render-server");
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    drawing_ = 1;
    lock.unlock();
    Renderer& renderer = rendererFor(job.scale);
    // The renderer keeps the tree until the next frame, to draw only what changed.
    renderer.drawSnapshot(std::move(job.tree));
    if (job.deliver) {
      renderer.copyImage(picture_);
      job.deliver(picture_);
    }
    lock.lock();
    drawing_ = 0;
  }
}

}  // namespace render

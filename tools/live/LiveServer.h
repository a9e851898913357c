#pragma once
// The live page's server: the page, its event stream (frames from the feed, figures) and its
// buttons, on the loopback address only, answering only its own page (LiveRequest.h). Buttons
// and the Settings panel's requests become control requests to the panel's host, the audio
// daemon's too (restarted, by the Settings app's button among others, it offers its service
// again).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "FrameFeed.h"
#include "JsonText.h"

namespace httplib {
class Server;
}

namespace live {

class LiveServer {
 public:
  // Sends a control request to a host: true for "ok …", the reply in `reply`.
  using ControlCall =
      std::function<bool(const std::string& host, const std::string& request, std::string* reply)>;

  LiveServer(FrameFeed& feed, ControlCall control);
  ~LiveServer();

  // Binds 127.0.0.1:`port` (0: any free port) and serves on a thread of its own; false and a
  // reason when the port cannot be had.
  bool start(std::uint16_t port, std::string* error);
  void stop();
  std::uint16_t port() const { return port_; }
  // Pages reading the event stream now.
  int pagesOpen() const { return streams_.load(); }

 private:
  std::string press(const std::string& panel, const std::string& button, int* status);

  FrameFeed& feed_;
  ControlCall control_;
  std::uint16_t port_ = 0;
  std::atomic<int> streams_{0};
  std::unique_ptr<httplib::Server> server_;
  std::unique_ptr<std::thread> thread_;
};

}  // namespace live

#pragma once
// A process's receiving end for one device: a datagram socket under the device's
// run/notify/endpoints and a thread that reads the names posted to it. Endpoints live as long as
// the process; a process that switches devices (tests do) gets one per device.

#include <filesystem>
#include <string>
#include <string_view>

namespace notify_internal {

class NotifyDirectory;

// Called on the endpoint's thread for each name posted to this process.
using PostReceiver = void (*)(const std::filesystem::path& notifyRoot, std::string_view name);

class NotifyEndpoint {
 public:
  // This process's endpoint in `directory`, made on first use; null when it cannot be made.
  static NotifyEndpoint* forDirectory(const NotifyDirectory& directory, PostReceiver receiver);

  const std::string& identifier() const { return identifier_; }

 private:
  NotifyEndpoint() = default;
  void receiveLoop();

  std::filesystem::path notifyRoot_;
  std::string identifier_;
  int socket_ = -1;
  PostReceiver receiver_ = nullptr;
};

enum class SendResult { delivered, gone, failed };

// Sends `name` to the endpoint `identifier` of the device whose notify folder is `notifyRoot`.
// `gone` when no process listens there any more.
SendResult sendToEndpoint(const std::filesystem::path& endpointsFolder,
                          const std::string& identifier, std::string_view name);

// The longest name that travels in one datagram.
inline constexpr std::size_t kMaximumNameLength = 1024;

}  // namespace notify_internal

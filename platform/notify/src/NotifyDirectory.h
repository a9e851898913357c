#pragma once
// What a device keeps for notify, under <device>/run/notify:
//   state/<name>                 the name's 64-bit state (8 bytes, native order)
//   names/<name>/<endpoint>      one empty file per process endpoint registered for the name
//   endpoints/<endpoint>         each process's datagram socket
// Names are encoded as file names (see fileNameFor).

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace notify_internal {

// The file name for a notification name: letters, digits, '.', '_' and '-' stay, every other
// byte becomes %XX. Empty for an empty name or one whose file name would be too long.
std::string fileNameFor(std::string_view name);

class NotifyDirectory {
 public:
  // Under the run directory `run`; the folders are made (mode 0700) when missing.
  explicit NotifyDirectory(const std::filesystem::path& run);

  bool ready() const { return ready_; }
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path endpointsFolder() const { return root_ / "endpoints"; }

  uint64_t state(const std::string& fileName) const;
  bool setState(const std::string& fileName, uint64_t state) const;

  bool addRegistrant(const std::string& fileName, const std::string& endpoint) const;
  void removeRegistrant(const std::string& fileName, const std::string& endpoint) const;
  std::vector<std::string> registrants(const std::string& fileName) const;

 private:
  std::filesystem::path root_;
  bool ready_ = false;
};

}  // namespace notify_internal

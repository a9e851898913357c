#pragma once
// What the transport tests share: counting this process's descriptors and mappings, and a
// sendmsg hook that records what the stand-in puts on the wire.

#include <dirent.h>
#include <mach/SystemCallHooks.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace transport_test {

inline std::size_t countEntries(const std::string& directory) {
  std::size_t count = 0;
  if (DIR* listing = opendir(directory.c_str())) {
    while (dirent* entry = readdir(listing))
      if (entry->d_name[0] != '.') ++count;
    closedir(listing);
  }
  return count - (directory == "/proc/self/fd" ? 1 : 0);  // the listing's own descriptor
}

// Mappings of out-of-line bodies (memfds) listed in a maps file; the allocator's own areas come
// and go and are left out.
inline std::size_t countLines(const std::string& file) {
  std::ifstream in(file);
  std::size_t count = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find("/memfd:") != std::string::npos) ++count;
  return count;
}

// Every datagram sent through the stand-in while installed, and the errors sendmsg gave.
struct WireRecorder {
  static inline std::vector<std::vector<uint8_t>> datagrams;
  static inline std::vector<int> errors;

  WireRecorder() {
    datagrams.clear();
    errors.clear();
    mach_stand_in::systemCalls().sendmsg = &record;
  }
  ~WireRecorder() { mach_stand_in::restoreSystemCalls(); }

  static ssize_t record(int fd, const msghdr* message, int flags) {
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < message->msg_iovlen; ++i) {
      const auto* part = static_cast<const uint8_t*>(message->msg_iov[i].iov_base);
      bytes.insert(bytes.end(), part, part + message->msg_iov[i].iov_len);
    }
    datagrams.push_back(std::move(bytes));
    const ssize_t sent = ::sendmsg(fd, message, flags);
    if (sent < 0) errors.push_back(errno);
    return sent;
  }
};

}  // namespace transport_test

#pragma once
// Move-only owners of a descriptor and of a mapping. Their destructors never throw and never fail
// loudly: closing and unmapping are the last word on a resource.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <utility>

namespace mach_stand_in {

class UniqueDescriptor {
 public:
  UniqueDescriptor() = default;
  explicit UniqueDescriptor(int fd) noexcept : fd_(fd) {}
  UniqueDescriptor(UniqueDescriptor&& other) noexcept : fd_(other.release()) {}
  UniqueDescriptor& operator=(UniqueDescriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueDescriptor(const UniqueDescriptor&) = delete;
  UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;
  ~UniqueDescriptor() { reset(); }

  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  int release() noexcept { return std::exchange(fd_, -1); }
  void reset(int fd = -1) noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

class UniqueMapping {
 public:
  UniqueMapping() = default;
  UniqueMapping(void* address, std::size_t length) noexcept : address_(address), length_(length) {}
  UniqueMapping(UniqueMapping&& other) noexcept
      : address_(std::exchange(other.address_, nullptr)),
        length_(std::exchange(other.length_, 0)) {}
  UniqueMapping& operator=(UniqueMapping&& other) noexcept {
    if (this != &other) {
      reset();
      address_ = std::exchange(other.address_, nullptr);
      length_ = std::exchange(other.length_, 0);
    }
    return *this;
  }
  UniqueMapping(const UniqueMapping&) = delete;
  UniqueMapping& operator=(const UniqueMapping&) = delete;
  ~UniqueMapping() { reset(); }

  void* get() const noexcept { return address_; }
  // Gives up ownership: the mapping now belongs to whoever holds the address.
  void* release() noexcept {
    length_ = 0;
    return std::exchange(address_, nullptr);
  }
  void reset() noexcept {
    if (address_) ::munmap(address_, length_);
    address_ = nullptr;
    length_ = 0;
  }

 private:
  void* address_ = nullptr;
  std::size_t length_ = 0;
};

}  // namespace mach_stand_in

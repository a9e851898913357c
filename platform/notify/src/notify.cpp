#include "notify.h"

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Device/Device.h"
#include "NotifyDirectory.h"
#include "NotifyEndpoint.h"

using notify_internal::NotifyDirectory;
using notify_internal::NotifyEndpoint;

namespace {

struct Registration {
  std::string name;
  std::string fileName;
  NotifyDirectory directory;
  // Delivering registrations only.
  dispatch_queue_t queue = nullptr;
  notify_handler_t handler;
  std::string endpoint;
  // A call is waiting on the queue; further posts fold into it.
  std::atomic<bool> pending{false};

  Registration(std::string n, std::string f, NotifyDirectory d)
      : name(std::move(n)), fileName(std::move(f)), directory(std::move(d)) {}
  bool delivers() const { return queue != nullptr; }
};

std::mutex gLock;
std::map<int, std::shared_ptr<Registration>> gRegistrations;
int gNextToken = 1;
std::atomic<uint64_t> gReceivedPosts{0};

std::shared_ptr<Registration> find(int token) {
  std::lock_guard guard(gLock);
  auto found = gRegistrations.find(token);
  return found == gRegistrations.end() ? nullptr : found->second;
}

// On the registration's queue.
void deliver(void* context) {
  const int token = static_cast<int>(reinterpret_cast<intptr_t>(context));
  notify_handler_t handler;
  {
    std::lock_guard guard(gLock);
    auto found = gRegistrations.find(token);
    if (found == gRegistrations.end()) return;  // cancelled meanwhile
    found->second->pending.store(false);
    handler = found->second->handler;
  }
  handler(token);
}

// On an endpoint's thread.
void receivePost(const std::filesystem::path& notifyRoot, std::string_view name) {
  std::lock_guard guard(gLock);
  // Counted once its calls are on their queues.
  struct CountOnExit {
    ~CountOnExit() { gReceivedPosts.fetch_add(1); }
  } countOnExit;
  for (auto& [token, registration] : gRegistrations) {
    if (!registration->delivers() || registration->name != name ||
        registration->directory.root() != notifyRoot) {
      continue;
    }
    if (registration->pending.exchange(true)) continue;
    // A full main queue drops work; then the call never comes, and the next post must try again.
    const uint64_t droppedBefore = dispatch_main_queue_dropped_count();
    dispatch_async_f(registration->queue, reinterpret_cast<void*>(static_cast<intptr_t>(token)),
                     &deliver);
    if (dispatch_main_queue_dropped_count() != droppedBefore) registration->pending.store(false);
  }
}

uint32_t makeRegistration(const char* name, int* outToken, std::shared_ptr<Registration>* out) {
  if (outToken == nullptr) return NOTIFY_STATUS_INVALID_REQUEST;
  if (name == nullptr) return NOTIFY_STATUS_INVALID_NAME;
  const std::string_view nameView(name);
  if (nameView.size() > notify_internal::kMaximumNameLength) return NOTIFY_STATUS_INVALID_NAME;
  std::string fileName = notify_internal::fileNameFor(nameView);
  if (fileName.empty()) return NOTIFY_STATUS_INVALID_NAME;
  NotifyDirectory directory(device::runDirectory());
  if (!directory.ready()) return NOTIFY_STATUS_FAILED;
  *out = std::make_shared<Registration>(std::string(nameView), std::move(fileName),
                                        std::move(directory));
  return NOTIFY_STATUS_OK;
}

int addRegistration(std::shared_ptr<Registration> registration) {
  std::lock_guard guard(gLock);
  const int token = gNextToken++;
  gRegistrations.emplace(token, std::move(registration));
  return token;
}

}  // namespace

uint32_t notify_register_dispatch(const char* name, int* outToken, dispatch_queue_t queue,
                                  notify_handler_t handler) {
  if (queue == nullptr || !handler) return NOTIFY_STATUS_INVALID_REQUEST;
  std::shared_ptr<Registration> registration;
  if (const uint32_t status = makeRegistration(name, outToken, &registration)) return status;
  NotifyEndpoint* endpoint = NotifyEndpoint::forDirectory(registration->directory, &receivePost);
  if (endpoint == nullptr) return NOTIFY_STATUS_FAILED;
  registration->queue = queue;
  registration->handler = std::move(handler);
  registration->endpoint = endpoint->identifier();
  // Listed only once the endpoint listens, so that every later post finds it.
  if (!registration->directory.addRegistrant(registration->fileName, registration->endpoint)) {
    return NOTIFY_STATUS_FAILED;
  }
  *outToken = addRegistration(std::move(registration));
  return NOTIFY_STATUS_OK;
}

uint32_t notify_register_check(const char* name, int* outToken) {
  std::shared_ptr<Registration> registration;
  if (const uint32_t status = makeRegistration(name, outToken, &registration)) return status;
  *outToken = addRegistration(std::move(registration));
  return NOTIFY_STATUS_OK;
}

uint32_t notify_get_state(int token, uint64_t* outState) {
  if (outState == nullptr) return NOTIFY_STATUS_INVALID_REQUEST;
  const auto registration = find(token);
  if (!registration) return NOTIFY_STATUS_INVALID_TOKEN;
  *outState = registration->directory.state(registration->fileName);
  return NOTIFY_STATUS_OK;
}

uint32_t notify_set_state(int token, uint64_t state) {
  const auto registration = find(token);
  if (!registration) return NOTIFY_STATUS_INVALID_TOKEN;
  return registration->directory.setState(registration->fileName, state) ? NOTIFY_STATUS_OK
                                                                         : NOTIFY_STATUS_FAILED;
}

uint32_t notify_post(const char* name) {
  if (name == nullptr) return NOTIFY_STATUS_INVALID_NAME;
  const std::string_view nameView(name);
  if (nameView.size() > notify_internal::kMaximumNameLength) return NOTIFY_STATUS_INVALID_NAME;
  const std::string fileName = notify_internal::fileNameFor(nameView);
  if (fileName.empty()) return NOTIFY_STATUS_INVALID_NAME;
  const NotifyDirectory directory(device::runDirectory());
  if (!directory.ready()) return NOTIFY_STATUS_FAILED;
  for (const std::string& endpoint : directory.registrants(fileName)) {
    const auto result =
        notify_internal::sendToEndpoint(directory.endpointsFolder(), endpoint, nameView);
    if (result == notify_internal::SendResult::gone) {
      directory.removeRegistrant(fileName, endpoint);
      ::unlink((directory.endpointsFolder() / endpoint).c_str());
    }
  }
  return NOTIFY_STATUS_OK;
}

uint32_t notify_cancel(int token) {
  std::lock_guard guard(gLock);
  auto found = gRegistrations.find(token);
  if (found == gRegistrations.end()) return NOTIFY_STATUS_INVALID_TOKEN;
  const std::shared_ptr<Registration> registration = found->second;
  gRegistrations.erase(found);
  if (!registration->delivers()) return NOTIFY_STATUS_OK;
  // The process stays listed while another of its registrations wants the name.
  for (const auto& [other, remaining] : gRegistrations) {
    if (remaining->delivers() && remaining->endpoint == registration->endpoint &&
        remaining->fileName == registration->fileName) {
      return NOTIFY_STATUS_OK;
    }
  }
  registration->directory.removeRegistrant(registration->fileName, registration->endpoint);
  return NOTIFY_STATUS_OK;
}

bool notify_is_valid_token(int token) {
  return find(token) != nullptr;
}

uint64_t notify_received_post_count() {
  return gReceivedPosts.load();
}

#include "StressDevice.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

#include "Device/Device.h"
#include "Vellamor2/SharedRecords.h"
#include "WaitFor.h"
#include "gtest/gtest.h"

namespace stress {

namespace fs = std::filesystem;
using testing_support::ChildProcess;

double soakMinutes() {
  const char* value = std::getenv("VELLAMOR_STRESS_MINUTES");
  return value != nullptr ? std::atof(value) : 0.0;
}

bool longRun() {
  return soakMinutes() > 0;
}

int count(int ci, int full) {
  return longRun() ? full : ci;
}

void figure(const std::string& name, const std::string& value) {
  std::printf("figure: %s = %s\n", name.c_str(), value.c_str());
  std::fflush(stdout);
  if (const char* report = std::getenv("VELLAMOR_STRESS_REPORT")) {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    std::ofstream(report, std::ios::app)
        << (test != nullptr ? test->name() : "") << '\t' << name << '\t' << value << '\n';
  }
}

std::size_t descriptorCount(pid_t pid) {
  std::error_code error;
  std::size_t count = 0;
  for (fs::directory_iterator entry("/proc/" + std::to_string(pid) + "/fd", error), end;
       !error && entry != end; entry.increment(error))
    ++count;
  return count;
}

std::size_t memfdMappings(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/maps");
  std::size_t count = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find("/memfd:") != std::string::npos) ++count;
  return count;
}

long residentKilobytes(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

StressDevice::StressDevice() {
  ChildProcess tool(testing_support::binaryDirectory() / "bin/vellamor",
                    {"device", "create", path().string(), "--system", "10"}, {}, "/dev/null");
  const auto status = tool.wait(std::chrono::seconds(30));
  if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
    ADD_FAILURE() << "vellamor device create failed";
}

std::unique_ptr<ChildProcess> StressDevice::start(const std::string& name) const {
  device::runDirectory();
  static const std::map<std::string, std::string> kPhonePaths = {
      {"mediaserverd", "usr/sbin/mediaserverd"},
      {"SpringBoard", "System/Library/CoreServices/SpringBoard.app/SpringBoard"}};
  return std::make_unique<ChildProcess>(path() / kPhonePaths.at(name), std::vector<std::string>{},
                                        std::vector<std::string>{},
                                        path() / "run" / (name + ".out"));
}

LMConnection serviceConnection() {
  LMConnection connection{};
  std::memcpy(connection.name, kVellamorServiceIdentifier, sizeof kVellamorServiceIdentifier);
  return connection;
}

bool StressDevice::history(LMConnection& connection) {
  auto buffer = std::make_unique<LMResponseBuffer>();
  const kern_return_t status = LMConnectionSendTwoWay(&connection, kHistorySnapshotMessageId,
                                                      &blankmsg, sizeof blankmsg, buffer.get());
  const bool whole = status == KERN_SUCCESS &&
                     LMMessageGetDataLength(&buffer->message) >= sizeof(serverDataStruct);
  LMResponseBufferFree(buffer.get());
  return whole;
}

int StressDevice::historyUntilAnswered(LMConnection& connection,
                                       std::chrono::milliseconds timeout) {
  int attempts = 0;
  const bool answered = testing_support::waitFor(
      [&] {
        ++attempts;
        return history(connection);
      },
      timeout);
  return answered ? attempts : 0;
}

void StressDevice::startHub() {
  hub_ = start("SpringBoard");
  LMConnection connection = serviceConnection();
  ASSERT_GT(historyUntilAnswered(connection), 0) << log();
  if (connection.port != MACH_PORT_NULL) mach_port_deallocate(mach_task_self(), connection.port);
}

void StressDevice::killHub() {
  if (!hub_) return;
  hub_->signal(SIGKILL);
  hub_->wait();
  hub_.reset();
}

fs::path StressDevice::serviceSocket() const {
  std::ifstream in(path() / "run/bootstrap" / kVellamorServiceIdentifier);
  std::string address;
  std::getline(in, address);
  return path() / "run" / address;
}

}  // namespace stress

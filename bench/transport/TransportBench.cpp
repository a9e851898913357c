// Round trips between two processes in the two shapes the system sends most: the history
// snapshot (4-byte request, 655,372-byte out-of-line reply) and the audio packet (32,784-byte
// out-of-line request, 4-byte reply), each beside a memcpy of the same bytes.

#include <benchmark/benchmark.h>
#include <mach/mach.h>
#include <servers/bootstrap.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kHistorySize = 655372;
constexpr uint32_t kPacketSize = 32784;
constexpr const char* kServiceName = "org.vellamor2.bench";

#pragma pack(push, 4)
struct Message {
  mach_msg_header_t header;
  mach_msg_body_t body;
  union {
    mach_msg_ool_descriptor_t descriptor;
    struct {
      uint32_t length;
      uint32_t bytes;
    } inlineBody;
  };
  char room[4300];
};
#pragma pack(pop)

void buildInline(Message& message, mach_port_t remote, uint32_t remoteBits, mach_port_t local,
                 int id) {
  std::memset(&message, 0, 48);
  message.header.msgh_bits = MACH_MSGH_BITS(remoteBits, local ? MACH_MSG_TYPE_MAKE_SEND_ONCE : 0);
  message.header.msgh_size = 36;
  message.header.msgh_remote_port = remote;
  message.header.msgh_local_port = local;
  message.header.msgh_id = id;
  message.inlineBody.length = 4;
}

void buildOutOfLine(Message& message, mach_port_t remote, uint32_t remoteBits, mach_port_t local,
                    int id, const void* data, uint32_t size) {
  std::memset(&message, 0, 48);
  message.header.msgh_bits =
      MACH_MSGH_BITS(remoteBits, local ? MACH_MSG_TYPE_MAKE_SEND_ONCE : 0) | MACH_MSGH_BITS_COMPLEX;
  message.header.msgh_size = 44;
  message.header.msgh_remote_port = remote;
  message.header.msgh_local_port = local;
  message.header.msgh_id = id;
  message.body.msgh_descriptor_count = 1;
  message.descriptor.address = const_cast<void*>(data);
  message.descriptor.size = size;
  message.descriptor.copy = MACH_MSG_VIRTUAL_COPY;
  message.descriptor.type = MACH_MSG_OOL_DESCRIPTOR;
}

[[noreturn]] void serve() {
  static std::vector<char> history(kHistorySize, 1);
  mach_port_t port;
  mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port);
  mach_port_insert_right(mach_task_self(), port, port, MACH_MSG_TYPE_MAKE_SEND);
  mach_port_t bootstrap;
  task_get_special_port(mach_task_self(), TASK_BOOTSTRAP_PORT, &bootstrap);
  if (bootstrap_register(bootstrap, kServiceName, port) != KERN_SUCCESS) _exit(1);
  Message message;
  for (;;) {
    if (mach_msg(&message.header, MACH_RCV_MSG, 0, sizeof message, port, 0, MACH_PORT_NULL) != 0)
      continue;
    mach_port_t reply = message.header.msgh_remote_port;
    if (message.header.msgh_bits & MACH_MSGH_BITS_COMPLEX)
      vm_deallocate(mach_task_self(), reinterpret_cast<vm_address_t>(message.descriptor.address),
                    message.descriptor.size);
    Message answer;
    if (message.header.msgh_id == 2)
      buildOutOfLine(answer, reply, MACH_MSG_TYPE_MOVE_SEND_ONCE, 0, 0, history.data(),
                     kHistorySize);
    else
      buildInline(answer, reply, MACH_MSG_TYPE_MOVE_SEND_ONCE, 0, 0);
    if (mach_msg(&answer.header, MACH_SEND_MSG, answer.header.msgh_size, 0, MACH_PORT_NULL, 0,
                 MACH_PORT_NULL) != 0)
      mach_port_mod_refs(mach_task_self(), reply, MACH_PORT_RIGHT_SEND_ONCE, -1);
  }
}

struct Server {
  Server() {
    static char directory[] = "/tmp/vellamor-bench-XXXXXX";
    if (!mkdtemp(directory)) std::abort();
    setenv("VELLAMOR_DEVICE", directory, 1);
    pid = fork();
    if (pid == 0) serve();
    mach_port_t bootstrap;
    task_get_special_port(mach_task_self(), TASK_BOOTSTRAP_PORT, &bootstrap);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (bootstrap_look_up(bootstrap, kServiceName, &port) != KERN_SUCCESS)
      if (std::chrono::steady_clock::now() > deadline) std::abort();
  }
  ~Server() {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  pid_t pid;
  mach_port_t port = MACH_PORT_NULL;
};

Server& server() {
  static Server instance;
  return instance;
}

// One exchange; true when the reply came.
bool exchange(int id, const void* data, uint32_t size, Message& reply) {
  server();  // first, so the reply port lives on the bench's device
  mach_port_t replyPort;
  mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &replyPort);
  if (data)
    buildOutOfLine(reply, server().port, MACH_MSG_TYPE_COPY_SEND, replyPort, id, data, size);
  else
    buildInline(reply, server().port, MACH_MSG_TYPE_COPY_SEND, replyPort, id);
  mach_msg_return_t status =
      mach_msg(&reply.header, MACH_SEND_MSG | MACH_RCV_MSG | MACH_SEND_TIMEOUT | MACH_RCV_TIMEOUT,
               reply.header.msgh_size, sizeof reply, replyPort, 50, MACH_PORT_NULL);
  mach_port_mod_refs(mach_task_self(), replyPort, MACH_PORT_RIGHT_RECEIVE, -1);
  if (status != MACH_MSG_SUCCESS) std::fprintf(stderr, "exchange: %x\n", status);
  return status == MACH_MSG_SUCCESS;
}

void reportPercentiles(benchmark::State& state, std::vector<double>& micros) {
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  state.counters["p50_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}

void BM_Transport_HistoryRoundTrip(benchmark::State& state) {
  Message reply;
  std::vector<double> micros;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!exchange(2, nullptr, 0, reply)) state.SkipWithError("exchange failed");
    auto* body = static_cast<const char*>(reply.descriptor.address);
    benchmark::DoNotOptimize(body[kHistorySize - 1]);
    vm_deallocate(mach_task_self(), reinterpret_cast<vm_address_t>(body), reply.descriptor.size);
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  reportPercentiles(state, micros);
  state.SetBytesProcessed(state.iterations() * kHistorySize);
}
BENCHMARK(BM_Transport_HistoryRoundTrip);

void BM_Transport_HistoryMemcpy(benchmark::State& state) {
  std::vector<char> from(kHistorySize, 1), to(kHistorySize);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kHistorySize);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kHistorySize);
}
BENCHMARK(BM_Transport_HistoryMemcpy);

void BM_Transport_PacketRoundTrip(benchmark::State& state) {
  std::vector<char> packet(kPacketSize, 2);
  Message reply;
  std::vector<double> micros;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!exchange(1, packet.data(), kPacketSize, reply)) state.SkipWithError("exchange failed");
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  reportPercentiles(state, micros);
  state.SetBytesProcessed(state.iterations() * kPacketSize);
}
BENCHMARK(BM_Transport_PacketRoundTrip);

void BM_Transport_PacketMemcpy(benchmark::State& state) {
  std::vector<char> from(kPacketSize, 1), to(kPacketSize);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kPacketSize);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kPacketSize);
}
BENCHMARK(BM_Transport_PacketMemcpy);

}  // namespace

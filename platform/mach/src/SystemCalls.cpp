#include <mach/SystemCallHooks.h>
#include <unistd.h>

namespace mach_stand_in {

namespace {
constexpr SystemCalls kRealCalls{::sendmsg, ::recvmsg, ::poll, ::pwrite, ::connect};
SystemCalls calls = kRealCalls;
}  // namespace

SystemCalls& systemCalls() {
  return calls;
}
void restoreSystemCalls() {
  calls = kRealCalls;
}

}  // namespace mach_stand_in

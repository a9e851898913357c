#include "Foundation/NSLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "Device/Device.h"
#include "Device/DeviceFiles.h"
#include "objc/runtime.h"

extern char* program_invocation_short_name;

namespace {

// Expands the format: "%@" from the object's description, every other conversion by vsnprintf.
std::string expand(const char* format, va_list arguments) {
  std::string out;
  for (const char* p = format; *p != '\0';) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    if (p[1] == '%') {
      out += '%';
      p += 2;
      continue;
    }
    if (p[1] == '@') {
      NSObject* object = va_arg(arguments, NSObject*);
      out += object ? object->description() : std::string("(null)");
      p += 2;
      continue;
    }
    // One printf conversion: flags, width, precision, length, then the conversion letter.
    const char* end = p + 1;
    while (*end != '\0' && std::string_view("-+ #0123456789.*hlLqjzt").find(*end) != std::string_view::npos)
      ++end;
    if (*end == '\0') break;
    std::string spec(p, end + 1);
    char buffer[512];
    va_list copy;
    va_copy(copy, arguments);
    std::vsnprintf(buffer, sizeof buffer, spec.c_str(), copy);
    va_end(copy);
    out += buffer;
    // Step past the argument(s) the conversion used.
    const char letter = *end;
    const bool isLong = spec.find('l') != std::string::npos || spec.find('z') != std::string::npos ||
                        spec.find('j') != std::string::npos || spec.find('t') != std::string::npos ||
                        spec.find('q') != std::string::npos;
    for (char c : spec) if (c == '*') (void)va_arg(arguments, int);
    if (letter == 'f' || letter == 'g' || letter == 'e' || letter == 'G' || letter == 'E' ||
        letter == 'a' || letter == 'A' || letter == 'F') {
      if (spec.find('L') != std::string::npos)
        (void)va_arg(arguments, long double);
      else
        (void)va_arg(arguments, double);
    } else if (letter == 's' || letter == 'p' || letter == 'n') {
      (void)va_arg(arguments, void*);
    } else if (isLong) {
      (void)va_arg(arguments, long);
    } else {
      (void)va_arg(arguments, int);
    }
    p = end + 1;
  }
  return out;
}

void writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

void NSLog(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string message = expand(format, arguments);
  va_end(arguments);

  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char stamp[64];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  char prefix[160];
  std::snprintf(prefix, sizeof prefix, "%s.%03ld %s[%d] ", stamp, now.tv_nsec / 1000000,
                program_invocation_short_name, static_cast<int>(::getpid()));
  const std::string line = prefix + message + "\n";

  writeAll(STDERR_FILENO, line);
  const auto run = device::runDirectory();
  if (run.empty()) return;
  // One write per line on an O_APPEND descriptor: lines of several processes never interleave.
  const int fd = device::openInDevice(run / "log", O_WRONLY | O_CREAT | O_APPEND);
  if (fd < 0) return;
  writeAll(fd, line);
  ::close(fd);
}

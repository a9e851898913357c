// dlopen of a phone path. On the phone a tweak opens host plug-ins by their absolute paths
// ("/System/Library/SpringBoardPlugins/..."); here those files live inside the device, so a
// process that links the hooking runtime resolves an absolute path that exists in the device
// there. Every other path is opened as it stands.

#include <dlfcn.h>
#include <sys/stat.h>

#include <string>

#include "Device/Device.h"

namespace {

using DlopenFunction = void* (*)(const char*, int);

DlopenFunction nextDlopen() {
  static const auto next = reinterpret_cast<DlopenFunction>(::dlsym(RTLD_NEXT, "dlopen"));
  return next;
}

bool isInside(const std::string& path, const std::string& root) {
  return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
         path[root.size()] == '/';
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void* dlopen(const char* file, int mode) {
  DlopenFunction next = nextDlopen();
  if (next == nullptr) return nullptr;
  if (file == nullptr || file[0] != '/' || !device::isConfigured()) return next(file, mode);
  const std::string root = device::root().string();
  if (isInside(file, root)) return next(file, mode);
  const std::string inDevice = device::phonePath(file).string();
  struct stat info {};
  if (::stat(inDevice.c_str(), &info) == 0) return next(inDevice.c_str(), mode);
  return next(file, mode);
}

// Images are the shared objects loaded in the process; a phone path names the file inside the
// device, and an image matches it when both are the same file (the device may hold a symlink).

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <string>

#include "Device/Device.h"
#include "substrate.h"

namespace {

struct ImageSearch {
  dev_t device;
  ino_t inode;
  std::string found;
};

int matchImage(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<ImageSearch*>(data);
  if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
  struct stat image {};
  if (::stat(info->dlpi_name, &image) != 0) return 0;
  if (image.st_dev != search->device || image.st_ino != search->inode) return 0;
  search->found = info->dlpi_name;
  return 1;
}

}  // namespace

MSImageRef MSGetImageByName(const char* file) {
  if (file == nullptr || file[0] != '/') return nullptr;
  std::string path = file;
  if (device::isConfigured()) path = device::phonePath(file).string();
  struct stat wanted {};
  if (::stat(path.c_str(), &wanted) != 0) return nullptr;
  ImageSearch search{wanted.st_dev, wanted.st_ino, {}};
  if (::dl_iterate_phdr(&matchImage, &search) == 0) return nullptr;
  // The handle of the loaded object itself; RTLD_NOLOAD never loads anything new. The reference
  // it takes is kept: an image stays loaded for the life of the process anyway.
  return ::dlopen(search.found.c_str(), RTLD_NOW | RTLD_NOLOAD);
}

void* MSFindSymbol(MSImageRef image, const char* name) {
  if (image == nullptr || name == nullptr || name[0] != '_') return nullptr;
  void* symbol = ::dlsym(const_cast<void*>(image), name + 1);
  if (symbol == nullptr) return nullptr;
  // dlsym also searches the image's dependencies; only the image's own symbols count.
  link_map* map = nullptr;
  if (::dlinfo(const_cast<void*>(image), RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
    return nullptr;
  Dl_info where{};
  if (::dladdr(symbol, &where) == 0) return nullptr;
  struct stat a {
  }, b{};
  if (::stat(map->l_name, &a) != 0 || ::stat(where.dli_fname, &b) != 0) return nullptr;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino ? symbol : nullptr;
}

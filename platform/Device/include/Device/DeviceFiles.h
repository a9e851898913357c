#pragma once
// Writing inside the device without following links. Anyone who can write into the device's
// folders could plant a link to a file outside it; every writer of the device opens through here,
// so such a link is refused (or, at a name that is replaced whole, replaced) and never written
// through.

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace device {

// Opens `file`, which lies inside `base` (by default the device directory), with `flags` plus
// O_NOFOLLOW and O_CLOEXEC. Every folder between `base` and the file is reached without
// following a link, and made (mode 0700) when missing and `flags` hold O_CREAT. A link at the
// file or at one of those folders fails (errno ELOOP or ENOTDIR). -1 with errno on failure.
int openInDevice(const std::filesystem::path& file, int flags, mode_t mode = 0600,
                 const std::filesystem::path& base = {});

// Replaces `file` whole: writes `bytes` to a new temporary file beside it (created exclusively),
// syncs it, renames it over `file` and syncs the folder. A link at `file` is replaced, not
// followed. False on failure, leaving `file` as it was.
bool replaceFile(const std::filesystem::path& file, std::string_view bytes,
                 const std::filesystem::path& base = {});

}  // namespace device

#include "driver/base/access_acl.h"

#include <sys/types.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr std::uint32_t kVersion = 2;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kEntrySize = 8;
constexpr unsigned kUser = 0x02;
constexpr unsigned kGroup = 0x08;
constexpr unsigned kMask = 0x10;
constexpr unsigned kWrite = 0x02;
// The largest extended attribute value Linux hands out.
constexpr std::size_t kLargestValue = 64 * 1024;

std::uint32_t Little(const unsigned char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

// Reads the attribute through `get` (getxattr or fgetxattr) into a buffer
// of the largest size, so that an ACL growing between two calls cannot cut
// it.
template <typename Get>
AclWrite ReadAndJudge(Get get, unsigned user) {
  std::vector<unsigned char> value(kLargestValue);
  ssize_t size = get(value.data(), value.size());
  if (size < 0) {
    // No ACL, or a file system that keeps none: nothing beyond the mode.
    if (errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP) return AclWrite::kNone;
    return AclWrite::kUnknown;
  }
  return JudgeAccessAcl(value.data(), static_cast<std::size_t>(size), user);
}

}  // namespace

AclWrite JudgeAccessAcl(const unsigned char* acl, std::size_t size, unsigned user) {
  if (size < kHeaderSize || (size - kHeaderSize) % kEntrySize != 0) return AclWrite::kUnknown;
  if (Little(acl, 4) != kVersion) return AclWrite::kUnknown;
  unsigned mask = 0xffff;  // no mask entry: the named entries count as they are
  bool granted = false;
  for (std::size_t at = kHeaderSize; at < size; at += kEntrySize) {
    unsigned tag = Little(acl + at, 2);
    unsigned perm = Little(acl + at + 2, 2);
    std::uint32_t id = Little(acl + at + 4, 4);
    if (tag == kMask) mask = perm;
    if ((perm & kWrite) == 0) continue;
    if (tag == kGroup || (tag == kUser && id != 0 && id != user)) granted = true;
  }
  if (!granted || (mask & kWrite) == 0) return AclWrite::kNone;
  return AclWrite::kGranted;
}

AclWrite PathAccessAcl(const char* path, unsigned user) {
  return ReadAndJudge(
      [path](void* buffer, std::size_t size) { return getxattr(path, kAccessAcl, buffer, size); },
      user);
}

AclWrite FileAccessAcl(int fd, unsigned user) {
  return ReadAndJudge(
      [fd](void* buffer, std::size_t size) { return fgetxattr(fd, kAccessAcl, buffer, size); },
      user);
}

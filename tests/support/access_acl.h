// POSIX access ACLs for the tests, written as the kernel keeps them (the
// extended attribute "system.posix_acl_access"), so that no ACL tool is
// needed.
#pragma once

#include <sys/xattr.h>

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

inline constexpr unsigned kAclUserObj = 0x01;
inline constexpr unsigned kAclUser = 0x02;
inline constexpr unsigned kAclGroupObj = 0x04;
inline constexpr unsigned kAclGroup = 0x08;
inline constexpr unsigned kAclMask = 0x10;
inline constexpr unsigned kAclOther = 0x20;

struct AclEntry {
  unsigned tag;
  unsigned perm;  // 4 read, 2 write, 1 execute
  std::uint32_t id;
};

// The attribute's bytes: version 2, then each entry little-endian.
inline std::vector<unsigned char> AclBytes(const std::vector<AclEntry>& entries) {
  std::vector<unsigned char> bytes = {2, 0, 0, 0};
  for (const AclEntry& e : entries) {
    for (unsigned v : {e.tag, e.perm}) {
      bytes.push_back(static_cast<unsigned char>(v));
      bytes.push_back(static_cast<unsigned char>(v >> 8));
    }
    for (int shift = 0; shift < 32; shift += 8)
      bytes.push_back(static_cast<unsigned char>(e.id >> shift));
  }
  return bytes;
}

// Gives the path a full access ACL with one named entry (kAclUser or
// kAclGroup, id 1234) of the given permissions, under the given mask.
// False when the file system keeps no ACLs.
inline bool GrantByAcl(const std::string& path, unsigned named_tag, unsigned perm,
                       unsigned mask) {
  std::vector<AclEntry> entries = {{kAclUserObj, 7, 0}};
  if (named_tag == kAclUser) entries.push_back({kAclUser, perm, 1234});
  entries.push_back({kAclGroupObj, 5, 0});
  if (named_tag == kAclGroup) entries.push_back({kAclGroup, perm, 1234});
  entries.push_back({kAclMask, mask, 0});
  entries.push_back({kAclOther, 5, 0});
  std::vector<unsigned char> bytes = AclBytes(entries);
  return setxattr(path.c_str(), "system.posix_acl_access", bytes.data(), bytes.size(), 0) == 0;
}

inline void RemoveAcl(const std::string& path) {
  removexattr(path.c_str(), "system.posix_acl_access");
}

}  // namespace test_support

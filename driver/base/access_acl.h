// POSIX access ACLs: whether a file's ACL lets users other than its owner
// write to it.  The ACL is read as the kernel hands it out, the extended
// attribute "system.posix_acl_access", and parsed here; the programs take
// no ACL library.
#pragma once

#include <cstddef>

// The verdict on one file's access ACL.
enum class AclWrite {
  kNone,     // no ACL, or none of its named entries grants write
  kGranted,  // a named user (other than root and `user`) or a named group
             // may write, after the mask
  kUnknown,  // the ACL could not be read or is malformed
};

// Judges an ACL in the kernel's format: a 4-byte version (2), then entries
// of 8 bytes: tag (16 bits), permissions (16 bits), id (32 bits), all
// little-endian.  Named user (tag 2) and named group (tag 8) entries grant
// write with bit 2 of their permissions, masked by the mask entry (tag 16)
// when there is one.
AclWrite JudgeAccessAcl(const unsigned char* acl, std::size_t size, unsigned user);

// The verdict for a path (following links) or an open file.  A file system
// without ACLs, or a file without one, gives kNone.
AclWrite PathAccessAcl(const char* path, unsigned user);
AclWrite FileAccessAcl(int fd, unsigned user);

#include "driver/base/access_acl.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/access_acl.h"

namespace {

using namespace test_support;

AclWrite Judge(const std::vector<AclEntry>& entries, unsigned user = 1000) {
  std::vector<unsigned char> bytes = AclBytes(entries);
  return JudgeAccessAcl(bytes.data(), bytes.size(), user);
}

// What the kernel never hands out (and a file system can still fake) is
// judged here: the mask, root and the user themselves, malformed values.
TEST(AccessAcl, NamedWriteUnderTheMaskAndNothingMalformed) {
  const AclEntry owner = {kAclUserObj, 7, 0};
  const AclEntry group = {kAclGroupObj, 7, 0};
  const AclEntry other = {kAclOther, 5, 0};
  EXPECT_EQ(AclWrite::kNone, Judge({owner, group, other}));  // the mode's own entries
  EXPECT_EQ(AclWrite::kGranted, Judge({owner, {kAclUser, 2, 42}, group, other}));
  EXPECT_EQ(AclWrite::kGranted,
            Judge({owner, group, {kAclGroup, 6, 42}, {kAclMask, 6, 0}, other}));
  EXPECT_EQ(AclWrite::kNone,
            Judge({owner, {kAclUser, 7, 42}, group, {kAclMask, 5, 0}, other}));
  EXPECT_EQ(AclWrite::kNone, Judge({owner, {kAclUser, 5, 42}, group, {kAclMask, 7, 0}, other}));
  // Root and the user running us are no others.
  EXPECT_EQ(AclWrite::kNone, Judge({owner, {kAclUser, 7, 0}, {kAclUser, 7, 1000}, group, other}));

  std::vector<unsigned char> bytes = AclBytes({owner, group, other});
  EXPECT_EQ(AclWrite::kUnknown, JudgeAccessAcl(bytes.data(), bytes.size() - 1, 0));
  EXPECT_EQ(AclWrite::kUnknown, JudgeAccessAcl(bytes.data(), 3, 0));
  bytes[0] = 1;
  EXPECT_EQ(AclWrite::kUnknown, JudgeAccessAcl(bytes.data(), bytes.size(), 0));
}

}  // namespace

#include "driver/base/shell.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TEST(ShellQuote, OrdinaryValuesStayAsTheyAre) {
  EXPECT_EQ("10:00:00:00:c9:6b:9c:e8", ShellQuote("10:00:00:00:c9:6b:9c:e8"));
  EXPECT_EQ("/work/site/", ShellQuote("/work/site/"));
  EXPECT_EQ("00-90-FA-12-34-56", ShellQuote("00-90-FA-12-34-56"));
  EXPECT_EQ("", ShellQuote(""));
}

TEST(ShellQuote, AnythingElseIsOneQuotedWord) {
  EXPECT_EQ("'X;reboot'", ShellQuote("X;reboot"));
  EXPECT_EQ("'fw 1.ufi'", ShellQuote("fw 1.ufi"));
  EXPECT_EQ("'a'\\''b'", ShellQuote("a'b"));
  EXPECT_EQ("'$(id)'", ShellQuote("$(id)"));
}

TEST(ShellQuote, QuotedWordsReachTheCommandUnchanged) {
  std::string hostile = "a'b;$(false)`x`\"|&<>\\ \r";
  std::string command = "test \"$(printf '%s' " + ShellQuote(hostile) + ")\" = " +
                        ShellQuote(hostile);
  EXPECT_EQ(0, RunShellCommand(command));
}

}  // namespace

namespace {

TEST(HasParentComponent, OnlyAWholeDotDotComponentCounts) {
  EXPECT_TRUE(HasParentComponent(".."));
  EXPECT_TRUE(HasParentComponent("../x_0_hba_attributes.out"));
  EXPECT_TRUE(HasParentComponent("a/../b"));
  EXPECT_TRUE(HasParentComponent("a/.."));
  EXPECT_FALSE(HasParentComponent("n/a_0_hba_attributes.out"));
  EXPECT_FALSE(HasParentComponent("a/.._0_x"));
  EXPECT_FALSE(HasParentComponent("..x/y"));
  EXPECT_FALSE(HasParentComponent(""));
}

}  // namespace

namespace {

// Raw statuses as system() reports them.
int Exited(int code) { return code << 8; }

TEST(CommandDidNotComplete, KilledOrNotRunCommands) {
  EXPECT_TRUE(CommandDidNotComplete(-1));     // no shell
  EXPECT_TRUE(CommandDidNotComplete(9));      // the shell killed by SIGKILL
  EXPECT_TRUE(CommandDidNotComplete(Exited(126)));
  EXPECT_TRUE(CommandDidNotComplete(Exited(127)));
  EXPECT_TRUE(CommandDidNotComplete(Exited(129)));  // the command killed by SIGHUP
  EXPECT_TRUE(CommandDidNotComplete(Exited(137)));  // ... by SIGKILL
  EXPECT_TRUE(CommandDidNotComplete(Exited(192)));  // ... by signal 64
}

TEST(CommandDidNotComplete, AnyOtherStatusIsTheCommandsAnswer) {
  EXPECT_FALSE(CommandDidNotComplete(0));
  EXPECT_FALSE(CommandDidNotComplete(Exited(1)));
  EXPECT_FALSE(CommandDidNotComplete(Exited(125)));
  EXPECT_FALSE(CommandDidNotComplete(Exited(128)));
  EXPECT_FALSE(CommandDidNotComplete(Exited(193)));
  EXPECT_FALSE(CommandDidNotComplete(Exited(255)));
}

TEST(CommandDidNotComplete, RealShellStatuses) {
  EXPECT_TRUE(CommandDidNotComplete(RunShellCommand("kill -KILL $$")));
  EXPECT_TRUE(CommandDidNotComplete(RunShellCommand("sh -c 'kill -TERM $$'")));
  EXPECT_TRUE(CommandDidNotComplete(RunShellCommand("/nonexistent/hbacmd 2>/dev/null")));
  EXPECT_FALSE(CommandDidNotComplete(RunShellCommand("exit 3")));
}

TEST(RunShellCommand, CommandsGetTheDefaultSigpipe) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction saved {};
  ASSERT_EQ(0, sigaction(SIGPIPE, &ignore, &saved));
  int status = RunShellCommand("kill -PIPE $$");
  struct sigaction after {};
  sigaction(SIGPIPE, &saved, &after);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
  EXPECT_EQ(SIG_IGN, after.sa_handler);  // ours is ignored again
}

TEST(ProtectStandardStreams, ClosedDescriptorsGetDevNull) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(1);
    close(2);
    ProtectStandardStreams();
    struct stat out, err, null;
    bool ok = fstat(1, &out) == 0 && fstat(2, &err) == 0 && stat("/dev/null", &null) == 0 &&
              out.st_rdev == null.st_rdev && err.st_rdev == null.st_rdev;
    struct sigaction pipe_action {};
    sigaction(SIGPIPE, nullptr, &pipe_action);
    _exit(ok && pipe_action.sa_handler == SIG_IGN ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_EQ(0, status);
}

TEST(OthersCanWrite, WorldWriteOrForeignOwner) {
  const unsigned kUser = 1000;
  EXPECT_FALSE(OthersCanWrite(S_IFDIR | 0755, 0, kUser));
  EXPECT_FALSE(OthersCanWrite(S_IFDIR | 0775, kUser, kUser));  // group write is allowed
  EXPECT_FALSE(OthersCanWrite(S_IFREG | 0644, 0, kUser));
  EXPECT_TRUE(OthersCanWrite(S_IFDIR | 0777, 0, kUser));
  EXPECT_TRUE(OthersCanWrite(S_IFDIR | 01777, 0, 0));  // sticky or not
  EXPECT_TRUE(OthersCanWrite(S_IFREG | 0602, kUser, kUser));
  EXPECT_TRUE(OthersCanWrite(S_IFDIR | 0700, kUser, 0));  // root runs a user's file
  EXPECT_TRUE(OthersCanWrite(S_IFDIR | 0700, 65534, kUser));
}

}  // namespace

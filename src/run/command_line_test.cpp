#include "run/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace velkaris {
namespace {

TEST(CommandLine, OurOptionsAreTakenOutBeforeTheArgumentText) {
  CommandLine a = ParseCommandLine({"--registry", "r.reg", "/no_wait", "--log-dir=/var/log/v"});
  EXPECT_EQ(a.registry_file, "r.reg");
  EXPECT_EQ(a.log_dir, "/var/log/v");
  EXPECT_EQ(a.arguments, "/no_wait");
  EXPECT_EQ(ParseCommandLine({"/no_wait", "x"}).arguments, "/no_wait x");
  EXPECT_EQ(ParseCommandLine({"/NO_WAIT"}).arguments, "/NO_WAIT");
  EXPECT_EQ(ParseCommandLine({}).arguments, "");
  EXPECT_TRUE(ParseCommandLine({"--help"}).help);
  EXPECT_TRUE(ParseCommandLine({"--version"}).version);
  EXPECT_EQ(ParseCommandLine({"--registry"}).error, "--registry needs a value");
}

TEST(CommandLine, AnythingThatLooksLikeAnOptionAndIsNotOursIsAnError) {
  // An unknown option no longer hides in the argument text (which would lose "/no_wait").
  CommandLine verbose = ParseCommandLine({"--verbose", "/no_wait"});
  EXPECT_EQ(verbose.error, "unknown option '--verbose'");
  EXPECT_EQ(ParseCommandLine({"-v"}).error, "unknown option '-v'");
  // Options of ours without their value, or followed by another option, or empty.
  EXPECT_EQ(ParseCommandLine({"--log-dir"}).error, "--log-dir needs a value");
  EXPECT_EQ(ParseCommandLine({"--registry", "--log-dir", "x"}).error, "--registry needs a value");
  EXPECT_EQ(ParseCommandLine({"--summary="}).error, "--summary needs a value");
  // What is not an option is still compared as a whole with "/no_wait".
  EXPECT_EQ(ParseCommandLine({"/no_wait", "now"}).error, "");
  EXPECT_EQ(ParseCommandLine({"/no_wait", "now"}).arguments, "/no_wait now");
  CommandLine all = ParseCommandLine({"--summary", "s.json", "--exit-status", "/no_wait"});
  EXPECT_EQ(all.error, "");
  EXPECT_EQ(all.summary_file, "s.json");
  EXPECT_TRUE(all.exit_status);
  EXPECT_EQ(all.arguments, "/no_wait");
  EXPECT_FALSE(ParseCommandLine({"/no_wait"}).exit_status);
}

TEST(CommandLine, VerifyTakesItsRangeAndTheRegistryOnly) {
  CommandLine v = ParseCommandLine({"verify", "--registry", "r.reg", "--from", "01/12/2026", "--to=2026-12-31"});
  EXPECT_EQ(v.command, CommandLine::kVerify);
  EXPECT_EQ(v.error, "");
  EXPECT_EQ(v.registry_file, "r.reg");
  EXPECT_EQ(v.from_day, "01/12/2026");
  EXPECT_EQ(v.to_day, "2026-12-31");
  EXPECT_EQ(ParseCommandLine({"verify", "/no_wait"}).error, "verify does not take '/no_wait'");
  EXPECT_EQ(ParseCommandLine({"verify", "--from"}).error, "--from needs a value");
  EXPECT_EQ(ParseCommandLine({"/no_wait", "verify"}).command, CommandLine::kRun);  // only as the first word
}

TEST(CommandLine, TheRegistryFileComesFromTheOptionTheEnvironmentOrTheUsersConfig) {
  setenv("VELKARIS_REGISTRY", "/etc/velkaris.reg", 1);
  EXPECT_EQ(RegistryPath(ParseCommandLine({"--registry", "mine.reg"})), "mine.reg");
  EXPECT_EQ(RegistryPath(ParseCommandLine({})), "/etc/velkaris.reg");
  unsetenv("VELKARIS_REGISTRY");
  setenv("XDG_CONFIG_HOME", "/home/shop/.cfg", 1);
  EXPECT_EQ(RegistryPath(ParseCommandLine({})), "/home/shop/.cfg/velkaris/registry.reg");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/shop", 1);
  EXPECT_EQ(RegistryPath(ParseCommandLine({})), "/home/shop/.config/velkaris/registry.reg");
}

}  // namespace
}  // namespace velkaris

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

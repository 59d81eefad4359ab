// velkaris-demo as a newcomer types it: help on standard output, mistakes refused with
// the usage and status 2, numbers checked before anything is created.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "testing/temp_databases.h"

namespace {

struct Result {
  int status;
  std::string out, err;
};

Result Demo(const testing_support::TempDir& dir, const std::string& args) {
  std::string cmd = std::string(VELKARIS_DEMO_BINARY) + " " + args + " > '" + dir.File("out") + "' 2> '" +
                    dir.File("err") + "'";
  int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing_support::ReadFile(dir.File("out")),
          testing_support::ReadFile(dir.File("err"))};
}

TEST(DemoCommand, HelpGoesToStandardOutputAndMistakesAreRefusedBeforeAnythingIsCreated) {
  testing_support::TempDir dir;
  Result help = Demo(dir, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: velkaris-demo run DIR"), std::string::npos) << help.out;
  EXPECT_EQ(help.err, "");

  std::string shop = dir.File("shop");
  struct Case {
    std::string args, message;
  };
  for (const Case& c : {Case{"run '" + shop + "' --receipts abc", "--receipts must be a whole number from 1 to 1000000, not 'abc'"},
                        Case{"run '" + shop + "' --receipts -5", "--receipts must be a whole number from 1 to 1000000, not '-5'"},
                        Case{"run '" + shop + "' --receipts 0", "--receipts must be a whole number from 1 to 1000000, not '0'"},
                        Case{"run '" + shop + "' --days 12x", "--days must be a whole number from 1 to 366"},
                        Case{"run '" + shop + "' --seed", "--seed needs a number"},
                        Case{"run '" + shop + "' --verbose", "unknown argument '--verbose'"},
                        Case{"generate '" + shop + "' --fresh", "unknown argument '--fresh'"},
                        Case{"run", "run needs the folder of the demo shop"},
                        Case{"", "say run or generate"}}) {
    Result r = Demo(dir, c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.err.find("velkaris-demo: " + c.message), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find("Usage:"), std::string::npos) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
  }
  EXPECT_FALSE(std::filesystem::exists(shop));

  Result made = Demo(dir, "generate '" + shop + "' --receipts 3 --days 1 --seed 7");
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_NE(made.out.find("3 printed POS receipts"), std::string::npos) << made.out;
}

}  // namespace

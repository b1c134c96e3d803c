#include <gtest/gtest.h>
#include <stdlib.h>

#include <initializer_list>
#include <vector>

#include "orva/services/app_services.h"

namespace orva::services {
namespace {

bool Parse(std::initializer_list<const char*> args, CommandLine& out, std::string& error) {
  std::vector<const char*> argv{"orva7000"};
  argv.insert(argv.end(), args.begin(), args.end());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), out, error);
}

TEST(CommandLine, NoArgumentsGiveTheDefaults) {
  CommandLine c;
  std::string error;
  ASSERT_TRUE(Parse({}, c, error)) << error;
  EXPECT_FALSE(c.connectHost);
  EXPECT_EQ(c.connectPort, 2000);
  EXPECT_EQ(c.user, "admin");
  EXPECT_FALSE(c.removable);
  EXPECT_FALSE(c.simulator);
  EXPECT_FALSE(c.help);
}

TEST(CommandLine, ConnectWithAndWithoutPortAndOurOtherOptions) {
  CommandLine c;
  std::string error;
  ASSERT_TRUE(Parse({"--connect", "10.0.0.7", "--user", "guard", "--removable"}, c, error)) << error;
  EXPECT_EQ(*c.connectHost, "10.0.0.7");
  EXPECT_EQ(c.connectPort, 2000);
  EXPECT_EQ(c.user, "guard");
  EXPECT_EQ(c.removable, std::optional<bool>(true));

  ASSERT_TRUE(Parse({"--connect=dvr.example:65534", "--no-removable"}, c, error)) << error;
  EXPECT_EQ(*c.connectHost, "dvr.example");
  EXPECT_EQ(c.connectPort, 65534);
  EXPECT_EQ(c.removable, std::optional<bool>(false));

  ASSERT_TRUE(Parse({"--simulator", "--help"}, c, error)) << error;
  EXPECT_TRUE(c.simulator);
  EXPECT_TRUE(c.help);
  EXPECT_NE(CommandLineUsage().find("--connect"), std::string::npos);
}

TEST(CommandLine, BadPortsAndHostsAreRefused) {
  CommandLine c;
  std::string error;
  for (const char* bad : {"host:0", "host:65535", "host:", "host:12x", "host:-1", ":2000", "a:b:c", "host:99999999999"}) {
    EXPECT_FALSE(Parse({"--connect", bad}, c, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_TRUE(Parse({"--connect", "host:1"}, c, error)) << error;
  EXPECT_EQ(c.connectPort, 1);
  EXPECT_FALSE(Parse({"--connect", std::string(128, 'h').c_str()}, c, error));
}

TEST(CommandLine, MissingValuesAndUnknownOptionsAreErrors) {
  CommandLine c;
  std::string error;
  EXPECT_FALSE(Parse({"--connect"}, c, error));
  EXPECT_NE(error.find("needs a value"), std::string::npos) << error;
  EXPECT_FALSE(Parse({"--user"}, c, error));
  EXPECT_FALSE(Parse({"--user", "seventeen-chars-x"}, c, error));
  EXPECT_FALSE(Parse({"--bogus"}, c, error));
  EXPECT_NE(error.find("--bogus"), std::string::npos);
  EXPECT_FALSE(Parse({"stray"}, c, error));
  EXPECT_FALSE(Parse({"--simulator", "--connect", "h"}, c, error));
}

TEST(CommandLine, PasswordOnlyFromTheEnvironment) {
  CommandLine c;
  std::string error;
  EXPECT_FALSE(Parse({"--password", "secret"}, c, error));
  EXPECT_NE(error.find("ORVA_PASSWORD"), std::string::npos);

  setenv("ORVA_PASSWORD", "s3cret", 1);
  EXPECT_TRUE(Parse({}, c, error));
  EXPECT_EQ(c.password, "s3cret");
  setenv("ORVA_PASSWORD", "seventeen-bytes-x", 1);
  EXPECT_FALSE(Parse({}, c, error));
  unsetenv("ORVA_PASSWORD");
}

TEST(CommandLine, QtOptionsPassThroughWithTheirValues) {
  CommandLine c;
  std::string error;
  ASSERT_TRUE(Parse({"-platform", "offscreen", "--connect", "h:3000", "-style", "Fusion", "--platform=xcb", "-reverse",
                     "-qwindowgeometry", "800x600+0+0"},
                    c, error))
      << error;
  EXPECT_EQ(*c.connectHost, "h");
  EXPECT_EQ(c.connectPort, 3000);
}

}  // namespace
}  // namespace orva::services

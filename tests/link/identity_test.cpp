// The HELLO payload, the identity record and the values derived from it.
#include <gtest/gtest.h>

#include <cstring>

#include "orva/link/identity.h"
#include "test_support.h"

namespace orva {
namespace {

TEST(Hello, LowerCasesBothTextsAndPadsWithZeros) {
  auto p = BuildHello("ADMIN", "Secret4711");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data())), "admin");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data() + 16)), "secret4711");
  for (int i = 5; i < 16; ++i) EXPECT_EQ(p[i], 0);
  for (int i = 26; i < 32; ++i) EXPECT_EQ(p[i], 0);
}

TEST(Hello, UsesAtMostSixteenBytesOfEachText) {
  auto p = BuildHello("ABCDEFGHIJKLMNOPQRS", "0123456789abcdefXYZ");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data()), 16), "abcdefghijklmnop");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data() + 16), 16), "0123456789abcdef");
}

TEST(Identity, ParsesEveryFieldAndConvertsBuildTimes) {
  auto payload = test::ScriptedRecorder::IdentityPayload(3, 8, 2, 0);
  payload[7] = 5;
  std::memcpy(payload.data() + 48 + 32 * 19, "LAST_COMPONENT_NAME_THAT_IS_32_B", 32);  // no terminator
  RecorderIdentity id;
  ASSERT_TRUE(ParseIdentity(payload, id));
  EXPECT_EQ(id.protocolMajor, 1);
  EXPECT_EQ(id.productNumber, 3);
  EXPECT_EQ(id.productMajor, 2);
  EXPECT_EQ(id.channelNum, 8);
  EXPECT_EQ(id.account, 5);
  EXPECT_EQ(FormatMac(id.mac), "00:0A:1B:2C:3D:4E");
  EXPECT_STREQ(id.firmName[0].data(), "MAIN_NAME");
  EXPECT_EQ(id.firmVer[0], 1260180930u);
  EXPECT_EQ(id.firmVer[1], 0u);
  EXPECT_EQ(std::string(id.firmName[19].data()), "LAST_COMPONENT_NAME_THAT_IS_32_B");
  auto again = EncodeIdentity(id);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), payload.begin()));
}

TEST(Identity, WrongSizeLeavesTheRecordAsItWas) {
  RecorderIdentity id;
  id.productNumber = 9;
  std::vector<uint8_t> shortPayload(767, 2);
  EXPECT_FALSE(ParseIdentity(shortPayload, id));
  EXPECT_EQ(id.productNumber, 9);
}

TEST(Identity, ProductFamiliesAndLabels) {
  EXPECT_EQ(ProductFamily(2), kAcceptedFamily);
  EXPECT_EQ(ProductFamily(3), kAcceptedFamily);
  for (uint8_t refused : {0, 1, 4, 5, 255}) EXPECT_NE(ProductFamily(refused), kAcceptedFamily) << int(refused);
  EXPECT_EQ(ProductFamily(1), 1);
  EXPECT_EQ(ProductFamily(4), 3);
  EXPECT_STREQ(FamilyLabel(0), "TALN7xxx...\n");
  EXPECT_STREQ(FamilyLabel(3), "ORVA7xx...\n");
  EXPECT_STREQ(FamilyLabel(4), "ORVA1xx...\n");
  EXPECT_STREQ(FamilyLabel(9), "Unknown product...\n");
}

TEST(Identity, ChannelCountAndVersionFlag) {
  EXPECT_EQ(NormaliseChannelCount(4), 4);
  EXPECT_EQ(NormaliseChannelCount(8), 8);
  EXPECT_EQ(NormaliseChannelCount(16), 16);
  EXPECT_EQ(NormaliseChannelCount(12), 16);
  EXPECT_EQ(NormaliseChannelCount(0), 16);
  EXPECT_FALSE(VersionFlag(1, 0));
  EXPECT_FALSE(VersionFlag(0, 9));
  EXPECT_TRUE(VersionFlag(1, 1));
  EXPECT_TRUE(VersionFlag(2, 0));
}

}  // namespace
}  // namespace orva

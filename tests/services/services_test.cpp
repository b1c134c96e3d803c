#include <gtest/gtest.h>

#include <QSettings>

#include "services_test_env.h"
#include "orva/services/app_services.h"
#include "orva/services/resources.h"

namespace orva::services {
namespace {

// Runs with the working directory in a folder of its own, holding a start-up
// file that names the base folder.
class Services : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearSettings();
    previous_ = std::filesystem::current_path();
    const auto wd = test::FreshDir("services-wd");
    test::WriteText(wd / "ClientQ7.bin", "Site Seven\r\nSiteFiles\r\n\r\nRGB\r\n");
    std::filesystem::current_path(wd);
    base_ = test::TestHome() / "SiteFiles";
    std::filesystem::remove_all(base_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    test::ClearSettings();
  }
  std::vector<LocalLogRecord> LogRecords() {
    std::vector<LocalLogRecord> records;
    std::string error;
    LocalLog(base_).Load(records, error);
    return records;
  }
  std::filesystem::path previous_, base_;
};

TEST_F(Services, StartWritesTheStartEntryAndMakesTheUpgradeFolder) {
  CommandLine cl;
  cl.removable = false;
  {
    AppServices services(cl);
    EXPECT_EQ(services.Startup().windowTitle, "Site Seven");
    EXPECT_EQ(services.Setup().location, base_.string());
    EXPECT_EQ(services.Setup().drawMode, 1);  // from the start-up file
    EXPECT_FALSE(services.Removable());
    EXPECT_TRUE(std::filesystem::is_directory(base_ / "Upgrade"));
    EXPECT_TRUE(services.ResourcesLoaded());
    EXPECT_TRUE(Resources::Loaded());
    const auto records = LogRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].mainType, 1u);
    EXPECT_EQ(records[0].subType, 1u);

    LocalSetup changed = services.Setup();
    changed.dateFormat = 2;
    changed.audioBuf[1] = 9;
    services.ApplySetup(changed);
    EXPECT_EQ(services.Setup().dateFormat, 2);
  }
  const auto records = LogRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].mainType, 8u);
  EXPECT_EQ(records[1].subType, 1u);
  EXPECT_EQ(records[2].mainType, 1u);
  EXPECT_EQ(records[2].subType, 2u);
  // Applied settings were saved.
  const LocalSetup stored = LoadLocalSetup(LocalSetup{});
  EXPECT_EQ(stored.dateFormat, 2);
  EXPECT_EQ(stored.audioBuf[1], 9);
}

TEST_F(Services, RemovableModeTouchesNoSettingsFoldersOrLog) {
  CommandLine cl;
  cl.removable = true;
  {
    AppServices services(cl);
    EXPECT_TRUE(services.Removable());
    LocalSetup changed = services.Setup();
    changed.location = "/elsewhere";
    changed.saveFormat = 2;
    services.ApplySetup(changed);
    EXPECT_EQ(services.Setup().location, base_.string()) << "the base folder stays";
    EXPECT_EQ(services.Setup().saveFormat, 2) << "the rest is taken over for this run";
  }
  EXPECT_FALSE(std::filesystem::exists(base_ / "Upgrade"));
  EXPECT_FALSE(std::filesystem::exists(base_ / "Log" / "ORVA7000.log"));
  QSettings settings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000"));
  EXPECT_TRUE(settings.allKeys().isEmpty());
}

TEST_F(Services, VolumeIsRestoredAtExit) {
  CommandLine cl;
  cl.removable = true;
  AppServices services(cl);
  if (!services.Sound()) {
    EXPECT_EQ(services.Volume().GetVolume(), -1) << "no output: the volume calls fail";
    return;
  }
  EXPECT_FALSE(services.Volume().GetMute());
  EXPECT_TRUE(services.Volume().SetVolume(1234));
}

}  // namespace
}  // namespace orva::services

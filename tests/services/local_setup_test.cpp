#include <gtest/gtest.h>

#include <QSettings>

#include "services_test_env.h"
#include "orva/services/local_setup.h"

namespace orva::services {
namespace {

using test::ReadText;
using test::WriteText;

// ------------------------------------------------------------ start-up file

TEST(StartupFile, EveryLineEndingGivesTheSameFourValues) {
  for (const char* eol : {"\r", "\n", "\r\n"}) {
    const std::string text = std::string("Site A") + eol + "SiteFolder" + eol + "MM-DD-YYYY" + eol + "rgb" + eol;
    const StartupFile f = ParseStartupFile(text);
    EXPECT_EQ(f.windowTitle, "Site A");
    EXPECT_EQ(f.folderName, "SiteFolder");
    EXPECT_EQ(f.dateFormatText, "MM-DD-YYYY");
    EXPECT_EQ(f.drawModeText, "rgb");
  }
  // Mixed endings and no ending after the last line.
  const StartupFile f = ParseStartupFile("T\r\nF\nDD-MM-YYYY\rRGB");
  EXPECT_EQ(f.folderName, "F");
  EXPECT_EQ(f.drawModeText, "RGB");
}

TEST(StartupFile, EmptyLinesAndMissingLinesKeepTheBuiltIns) {
  const StartupFile f = ParseStartupFile("\r\n\r\nDD-MM-YYYY\r\n");
  EXPECT_EQ(f.windowTitle, "ORVA7000");
  EXPECT_EQ(f.folderName, "ORVA7000");
  EXPECT_EQ(f.dateFormatText, "DD-MM-YYYY");
  EXPECT_EQ(f.drawModeText, "YUV");
  const StartupFile blanks = ParseStartupFile("   \n\t\n");
  EXPECT_EQ(blanks.windowTitle, "ORVA7000");
  EXPECT_EQ(ParseStartupFile("").folderName, "ORVA7000");
  // Lines after the fourth are ignored; a byte-order mark is not part of the title.
  const StartupFile extra = ParseStartupFile("\xEF\xBB\xBFTitle\nF\nD\nRGB\nfifth\n");
  EXPECT_EQ(extra.windowTitle, "Title");
  EXPECT_EQ(extra.drawModeText, "RGB");
}

TEST(StartupFile, LongLinesAreCutAndDoNotSpillIntoTheNextValue) {
  const std::string longTitle(300, 'x');
  const StartupFile f = ParseStartupFile(longTitle + "\nFolder\n");
  EXPECT_EQ(f.windowTitle, std::string(260, 'x'));
  EXPECT_EQ(f.folderName, "Folder");
}

TEST(StartupFile, WorkingDirectoryFirstThenSystemFileThenBuiltIns) {
  const auto wd = test::FreshDir("startup-wd");
  const auto sys = test::FreshDir("startup-sys") / "ClientQ7.bin";
  EXPECT_EQ(ReadStartupFile(wd, sys).windowTitle, "ORVA7000");  // neither exists

  WriteText(sys, "System\nSysFolder\n");
  EXPECT_EQ(ReadStartupFile(wd, sys).windowTitle, "System");
  EXPECT_EQ(ReadStartupFile(wd, sys).folderName, "SysFolder");

  WriteText(wd / "ClientQ7.bin", "Local\n");
  const StartupFile f = ReadStartupFile(wd, sys);
  EXPECT_EQ(f.windowTitle, "Local");
  EXPECT_EQ(f.folderName, "ORVA7000");  // the system file is not merged in
}

// ----------------------------------------------------------------- defaults

TEST(LocalSetupDefaults, BuiltInsAndStartupTexts) {
  const LocalSetup d = DefaultLocalSetup(StartupFile{}, "/home/someone");
  EXPECT_EQ(d.drawMode, 0);
  EXPECT_EQ(d.dateFormat, 0);
  EXPECT_EQ(d.saveFormat, 0);
  EXPECT_EQ(d.location, "/home/someone/ORVA7000");
  for (uint8_t o : d.opacity) EXPECT_EQ(o, 255);
  EXPECT_EQ(d.audioBuf[0], 1);
  EXPECT_EQ(d.audioBuf[1], 15);
  EXPECT_EQ(d.audioBuf[2], 1);

  StartupFile s;
  s.folderName = "Depot";
  s.drawModeText = "rGb";
  s.dateFormatText = "MM-DD-YYYY";
  LocalSetup c = DefaultLocalSetup(s, "/h");
  EXPECT_EQ(c.drawMode, 1);
  EXPECT_EQ(c.dateFormat, 1);
  EXPECT_EQ(c.location, "/h/Depot");
  s.dateFormatText = "DD-MM-YYYY";
  s.drawModeText = "RGB24";
  c = DefaultLocalSetup(s, "/h");
  EXPECT_EQ(c.dateFormat, 2);
  EXPECT_EQ(c.drawMode, 0);
  s.dateFormatText = "YY/MM/DD";
  EXPECT_EQ(DefaultLocalSetup(s, "/h").dateFormat, 0);
}

// ----------------------------------------------------------------- settings

class LocalSettings : public ::testing::Test {
 protected:
  void SetUp() override { test::ClearSettings(); }
  void TearDown() override { test::ClearSettings(); }
  static void Put(const char* key, const QVariant& value) {
    QSettings settings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000"));
    settings.setValue(QLatin1String(key), value);
    settings.sync();
  }
  LocalSetup defaults_ = DefaultLocalSetup(StartupFile{}, "/home/u");
};

TEST_F(LocalSettings, EmptyStoreGivesEveryDefault) {
  const LocalSetup s = LoadLocalSetup(defaults_);
  EXPECT_EQ(s.drawMode, defaults_.drawMode);
  EXPECT_EQ(s.dateFormat, defaults_.dateFormat);
  EXPECT_EQ(s.saveFormat, defaults_.saveFormat);
  EXPECT_EQ(s.location, defaults_.location);
  EXPECT_EQ(s.opacity, defaults_.opacity);
  EXPECT_EQ(s.audioBuf, defaults_.audioBuf);
}

TEST_F(LocalSettings, StoredDateFormatWinsAndAbsentOneComesFromTheStartupFile) {
  Put("LocalSetup/DateFormat/DateFormat", 2);
  EXPECT_EQ(LoadLocalSetup(defaults_).dateFormat, 2);

  test::ClearSettings();
  const LocalSetup fromFile = DefaultLocalSetup(ParseStartupFile("ORVA7000\nORVA7000\nMM-DD-YYYY\n"), "/home/u");
  EXPECT_EQ(LoadLocalSetup(fromFile).dateFormat, 1);
}

TEST_F(LocalSettings, AudioBufferAbove15ReadsAs15) {
  Put("LocalSetup/AudioBuf/02/02", 40);
  Put("LocalSetup/AudioBuf/01/01", 7);
  const LocalSetup s = LoadLocalSetup(defaults_);
  EXPECT_EQ(s.audioBuf[1], 15);
  EXPECT_EQ(s.audioBuf[0], 7);
  EXPECT_EQ(s.audioBuf[2], 1);
}

TEST_F(LocalSettings, UnreadableValuesTakeTheirOwnDefaultOnly) {
  Put("LocalSetup/DrawMode/DrawMode", "fast");
  Put("LocalSetup/DateFormat/DateFormat", 7);
  Put("LocalSetup/SaveFormat/SaveFormat", 2);
  Put("LocalSetup/Location/Location", "");
  Put("LocalSetup/Opacity/03/03", 300);
  Put("LocalSetup/Opacity/04/04", -1);
  Put("LocalSetup/Opacity/05/05", 128);
  Put("LocalSetup/AudioBuf/03/03", "x");
  const LocalSetup s = LoadLocalSetup(defaults_);
  EXPECT_EQ(s.drawMode, 0);
  EXPECT_EQ(s.dateFormat, 0);
  EXPECT_EQ(s.saveFormat, 2);
  EXPECT_EQ(s.location, defaults_.location);
  EXPECT_EQ(s.opacity[2], 255);
  EXPECT_EQ(s.opacity[3], 255);
  EXPECT_EQ(s.opacity[4], 128);
  EXPECT_EQ(s.audioBuf[2], 1);
}

TEST_F(LocalSettings, RoundTripUsesTheExactKeysAndTypes) {
  LocalSetup s = defaults_;
  s.drawMode = 1;
  s.dateFormat = 2;
  s.saveFormat = 1;
  s.location = "/data/My Recorder Files";
  for (size_t i = 0; i < 9; ++i) s.opacity[i] = static_cast<uint8_t>(100 + i);
  s.audioBuf = {3, 12, 5};
  SaveLocalSetup(s);

  const LocalSetup back = LoadLocalSetup(defaults_);
  EXPECT_EQ(back.drawMode, 1);
  EXPECT_EQ(back.dateFormat, 2);
  EXPECT_EQ(back.saveFormat, 1);
  EXPECT_EQ(back.location, s.location);
  EXPECT_EQ(back.opacity, s.opacity);
  EXPECT_EQ(back.audioBuf, s.audioBuf);

  // The store itself: one section, each value in a subkey of its own name.
  const std::string file = ReadText(test::SettingsFile());
  ASSERT_FALSE(file.empty()) << test::SettingsFile();
  EXPECT_NE(file.find("[LocalSetup]"), std::string::npos);
  for (const char* line : {"DrawMode\\DrawMode=1\n", "DateFormat\\DateFormat=2\n", "SaveFormat\\SaveFormat=1\n",
                           "Location\\Location=/data/My Recorder Files\n", "Opacity\\01\\01=100\n",
                           "Opacity\\09\\09=108\n", "AudioBuf\\01\\01=3\n", "AudioBuf\\02\\02=12\n",
                           "AudioBuf\\03\\03=5\n"})
    EXPECT_NE(file.find(line), std::string::npos) << "missing " << line << " in\n" << file;

  // Numbers are stored as numbers, the location as text.
  QSettings settings(QStringLiteral("Tarn"), QStringLiteral("ORVA7000"));
  bool ok = false;
  EXPECT_EQ(settings.value("LocalSetup/Opacity/05/05").toInt(&ok), 104);
  EXPECT_TRUE(ok);
  EXPECT_EQ(settings.value("LocalSetup/Location/Location").toString(), QString("/data/My Recorder Files"));
}

}  // namespace
}  // namespace orva::services

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QMessageLogContext>
#include <QStringList>

#include "services_test_env.h"
#include "notice_pairs.h"
#include "orva/services/resources.h"

namespace orva::services {
namespace {

QString Bin() { return QCoreApplication::applicationDirPath(); }

// Pixels that are not fully transparent.
int Inked(const QImage& image) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  int count = 0;
  for (int y = 0; y < argb.height(); ++y)
    for (int x = 0; x < argb.width(); ++x) count += qAlpha(argb.pixel(x, y)) > 0;
  return count;
}

class ResourceLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Resources::Load()) << "OrvaRes.rcc next to " << Bin().toStdString(); }
  void TearDown() override { Resources::Unload(); }
};

TEST_F(ResourceLibrary, EveryPostedNoticeHasTheTableTitleAndText) {
  for (const Notice n : kPostedNotices) {
    const QString title = Resources::NoticeTitle(n), text = Resources::NoticeText(n);
    EXPECT_FALSE(title.isEmpty()) << n.category << "/" << n.code;
    EXPECT_GT(text.size(), 10) << n.category << "/" << n.code;
    // Read from the resource file, and the same as the link layer's table.
    const std::string key = "notice." + std::to_string(n.category) + "." + std::to_string(n.code) + ".text";
    EXPECT_EQ(Resources::Text(key.c_str()), text);
    EXPECT_EQ(text.toStdString(), LookupNotice(n).text);
    EXPECT_EQ(title.toStdString(), LookupNotice(n).title);
  }
}

TEST_F(ResourceLibrary, TextsTheWindowsNeedArePresent) {
  std::vector<std::string> keys = {
      "app.title", "main.volume", "main.mode.1", "bar.exit", "view.video_loss", "notice.ok", "notice.yes", "notice.no",
      "dialog.connect.title", "dialog.connect.address", "dialog.connect.port", "dialog.connect.default_port",
      "dialog.connect.user", "dialog.connect.password", "dialog.connect.site", "dialog.connect.error.port",
      "dialog.lsetup.title", "dialog.lsetup.location", "dialog.lsetup.location.removable", "log.title", "log.page",
      "column.number", "column.time", "column.type", "column.subtype", "column.details", "unit.mib", "unit.fps",
      "log.main.1", "log.main.2", "log.main.4", "log.main.8", "log.sub.1.1", "log.sub.1.2", "log.sub.2.1",
      "log.sub.2.2", "log.sub.2.4", "log.sub.4.1", "log.sub.4.2", "log.sub.8.1", "log.sub.8.2"};
  for (int i = 0; i < 3; ++i) {
    keys.push_back("dialog.lsetup.date_format." + std::to_string(i));
    keys.push_back("dialog.lsetup.save_format." + std::to_string(i));
    keys.push_back("dialog.lsetup.audio_buf." + std::to_string(i + 1));
  }
  for (int i = 1; i <= 9; ++i) keys.push_back("dialog.lsetup.opacity." + std::to_string(i));
  for (const char* b : {"connect", "live", "audio", "rsearch", "rsetup", "firmup", "pan", "zoom", "lsearch", "lsetup",
                        "save", "load", "osd", "arrange", "sound", "selaudio", "mike", "min", "quit", "full"}) {
    keys.push_back(std::string("button.") + b);
    keys.push_back(std::string("tip.") + b);
  }
  for (const std::string& key : keys) {
    const QString text = Resources::Text(key.c_str());
    EXPECT_NE(text.toStdString(), key) << "missing text " << key;
    EXPECT_FALSE(text.isEmpty()) << key;
  }
  EXPECT_EQ(Resources::Text("no.such.key"), QString("no.such.key"));
}

TEST_F(ResourceLibrary, EveryButtonPictureExistsAndRenders) {
  std::vector<std::string> names = {"connect", "live",   "audio",    "rsearch", "rsetup", "firmup", "pan",
                                    "zoom",    "lsearch", "lsetup",  "save",    "load",   "osd",    "arrange",
                                    "sound",   "mute",   "selaudio", "mike",    "min",    "quit",   "full",
                                    "exitfull", "markplay", "markpause", "markrec", "orva7000"};
  for (int i = 1; i <= 7; ++i) names.push_back("play" + std::to_string(i));
  for (int n : {1, 4, 6, 7, 8, 9, 10, 13, 16}) names.push_back("layout" + std::to_string(n));
  for (int n = 1; n <= 16; ++n) names.push_back((n < 10 ? "channel0" : "channel") + std::to_string(n));
  const QStringList listed = Resources::PictureNames();
  for (const std::string& name : names) {
    if (name != "orva7000") {
      EXPECT_TRUE(listed.contains(QString::fromStdString(name))) << name;
    }
    const QPixmap picture = Resources::Picture(name.c_str());
    ASSERT_FALSE(picture.isNull()) << name;
    const QImage image = picture.toImage();
    // Drawn, but not one solid block.
    EXPECT_GT(Inked(image), image.width() * image.height() / 20) << name;
    const QIcon icon = Resources::Icon(name.c_str());
    ASSERT_FALSE(icon.isNull()) << name;
    EXPECT_FALSE(icon.pixmap(QSize(32, 32)).isNull()) << name;
  }
  // Channel numbers differ from each other, so the text really was drawn.
  EXPECT_NE(Resources::Picture("channel01").toImage(), Resources::Picture("channel08").toImage());
  EXPECT_TRUE(Resources::Picture("nosuchpicture").isNull());
  EXPECT_TRUE(Resources::Icon("nosuchpicture").isNull());
}

TEST_F(ResourceLibrary, PressedAndDisabledLooksComeFromTheSamePicture) {
  const QImage normal = Resources::Picture("live").toImage();
  const QImage down = Resources::Picture("live.down").toImage();
  const QImage disabled = Resources::Picture("live.disabled").toImage();
  ASSERT_EQ(down.size(), normal.size());
  ASSERT_EQ(disabled.size(), normal.size());
  EXPECT_NE(down, normal.convertToFormat(down.format()));
  // Disabled is grey and faint.
  const QPoint centre(normal.width() / 2, normal.height() / 2);
  const QRgb d = disabled.pixel(centre);
  EXPECT_EQ(qRed(d), qGreen(d));
  EXPECT_EQ(qGreen(d), qBlue(d));
  EXPECT_LT(qAlpha(d), qAlpha(normal.pixel(centre)));
}

TEST(ResourceFallbacks, WithoutTheFileNoticesComeFromTheTableAndKeysStay) {
  Resources::Unload();
  EXPECT_FALSE(Resources::Loaded());
  EXPECT_EQ(Resources::NoticeText({3, 1}).toStdString(), LookupNotice({3, 1}).text);
  EXPECT_EQ(Resources::Text("button.live"), QString("button.live"));
  EXPECT_TRUE(Resources::Icon("live").isNull());
  // Not a resource file, or some other one: refused.
  const auto junk = test::FreshDir("rcc") / "OrvaRes.rcc";
  test::WriteText(junk, "not a resource file");
  EXPECT_FALSE(Resources::LoadFrom(QString::fromStdString(junk.string())));
  EXPECT_FALSE(Resources::Loaded());
}

TEST(IdlePictures, BuiltNextToTheProgramsAndCopiedIntoTheResourceFile) {
  for (const char* name : {"ComMark.bmp", "VdoLoss.bmp"}) {
    QFile file(Bin() + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 54);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(static_cast<uint8_t>(bytes[28]), 24) << "24-bit";
    const QImage image(Bin() + "/" + name);
    EXPECT_EQ(image.size(), QSize(704, 480)) << name;
  }
  ASSERT_TRUE(Resources::Load());
  const QImage idle(":/orva/pictures/ComMark.bmp"), loss(":/orva/pictures/VdoLoss.bmp");
  EXPECT_FALSE(idle.isNull());
  EXPECT_FALSE(loss.isNull());
  EXPECT_NE(idle, loss);
  // The idle picture's lens dot is blue, the video-loss picture's cross red.
  const QRgb lens = idle.pixel(325, 235), cross = loss.pixel(352, 240);
  EXPECT_GT(qBlue(lens), 150);
  EXPECT_GT(qBlue(lens), qRed(lens) + 60);
  EXPECT_GT(qRed(cross), 180);
  EXPECT_GT(qRed(cross), qGreen(cross) + 100);
  EXPECT_FALSE(Resources::IdlePicture().isNull());
  EXPECT_FALSE(Resources::VideoLossPicture().isNull());
  Resources::Unload();
}

TEST_F(ResourceLibrary, EveryPictureUsesOnlyWhatTheRendererSupports) {
  // The SVG renderer says what it skips (unknown elements, unresolved
  // gradients, ...) as a "qt.svg" warning; a picture that causes one would
  // not look as drawn.
  static QStringList warnings;
  warnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (QByteArray(context.category ? context.category : "").startsWith("qt.svg")) warnings << text;
  });
  QStringList names = Resources::PictureNames();
  names << "orva7000";
  for (const QString& name : names) {
    const QByteArray n = name.toUtf8();
    EXPECT_FALSE(Resources::Picture(n.constData()).isNull()) << n.constData();
    EXPECT_FALSE(Resources::Icon(n.constData()).pixmap(QSize(64, 64)).isNull()) << n.constData();
  }
  qInstallMessageHandler(previous);
  EXPECT_GE(names.size(), 60);
  EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

TEST_F(ResourceLibrary, GradientsArcsAndTextAreDrawn) {
  // The button face runs from a lighter top to a darker bottom.
  const QImage live = Resources::Picture("live").toImage();
  ASSERT_EQ(live.size(), QSize(48, 40));
  EXPECT_GT(qGray(live.pixel(24, 4)), qGray(live.pixel(24, 36)));
  // The plug's rounded body (an arc) is filled, the face beside it is not.
  const QImage connect = Resources::Picture("connect").toImage();
  const QRgb body = connect.pixel(24, 23), beside = connect.pixel(8, 23);
  EXPECT_GT(qBlue(body), qRed(body) + 40);
  EXPECT_LT(qBlue(beside), qRed(beside) + 40);
  // Channel numbers are text: two digits ink more than one, and the
  // label sits in the middle of the button.
  auto light = [](const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) count += qGray(image.pixel(x, y)) > 150;
    return count;
  };
  const QImage one = Resources::Picture("channel01").toImage(), twelve = Resources::Picture("channel12").toImage();
  EXPECT_GT(light(one), 5);
  EXPECT_GT(light(twelve), light(one));
  // An icon drawn larger than the picture stays the picture, only sharper.
  const QImage big = Resources::Icon("live").pixmap(QSize(96, 80)).toImage();
  ASSERT_EQ(big.size(), QSize(96, 80));
  EXPECT_GT(qGray(big.pixel(48, 8)), qGray(big.pixel(48, 72)));
}

}  // namespace
}  // namespace orva::services

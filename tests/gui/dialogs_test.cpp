// The local-setup dialog with the view rebuilt on a draw-mode change, and
// the open-image preview with the image viewer.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <functional>
#include <fstream>

#include "gui_support.h"
#include "orva/pictures/snapshot.h"
#include "orva/view/image_viewer.h"
#include "orva/view/local_setup_dialog.h"
#include "orva/view/main_window.h"
#include "orva/view/notice_window.h"
#include "local_playback_window.h"

namespace orva::view {
namespace {

TEST(LocalSetupDialog, EditsACopyAndKeepsTheFolderInRemovableMode) {
  services::LocalSetup setup;
  setup.location = "/srv/orva";
  setup.audioBuf = {1, 15, 1};
  LocalSetupDialog dialog(setup, /*removable=*/true);
  EXPECT_FALSE(dialog.LocationField()->isEnabled());
  dialog.LocationField()->setText("/elsewhere");
  dialog.DrawModeBox()->setCurrentIndex(1);
  dialog.DateFormatBox()->setCurrentIndex(2);
  dialog.SaveFormatBox()->setCurrentIndex(2);
  dialog.OpacityBox(4)->setValue(200);
  dialog.AudioDepthBox(1)->setValue(40);  // the box stops at 15
  const services::LocalSetup out = dialog.Result();
  EXPECT_EQ(out.location, "/srv/orva");
  EXPECT_EQ(out.drawMode, 1);
  EXPECT_EQ(out.dateFormat, 2);
  EXPECT_EQ(out.saveFormat, 2);
  EXPECT_EQ(out.opacity[4], 200);
  EXPECT_EQ(out.audioBuf[1], 15);
  EXPECT_EQ(setup.drawMode, 0) << "the caller's settings are untouched";

  LocalSetupDialog fixed(setup, /*removable=*/false);
  fixed.LocationField()->setText("/elsewhere");
  EXPECT_EQ(fixed.Result().location, "/elsewhere");
}

TEST(LocalSetupDialog, DrawModeChangeBuildsTheVideoViewAgainInPlace) {
  guitest::ClearSettings();
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  MainWindow window(services);
  CVideoView* before = window.VideoView();
  const QRect place = before->geometry();

  services::LocalSetup same = services.Setup();
  same.dateFormat = 1;
  window.ApplyLocalSetup(same);
  EXPECT_EQ(window.VideoView(), before) << "only a draw-mode change rebuilds the view";
  EXPECT_EQ(services.Setup().dateFormat, 1);

  services::LocalSetup other = services.Setup();
  other.drawMode = other.drawMode == 0 ? 1 : 0;
  window.ApplyLocalSetup(other);
  ASSERT_NE(window.VideoView(), nullptr);
  EXPECT_EQ(window.VideoView()->geometry(), place);
  EXPECT_EQ(services.Setup().drawMode, other.drawMode);
  // The new view answers the commands.
  window.Command("Layout4")->click();
  EXPECT_EQ(window.VideoView()->Layout(), 1);
}

// One opacity table: each of the dialog's nine boxes is labelled with the
// windows its slot changes, and those windows take that slot's value.
TEST(LocalSetupDialog, OpacitySlotsMatchTheirLabelsAndTheWindowsTheyChange) {
  guitest::ClearSettings();
  services::CommandLine cl;
  cl.removable = false;
  services::AppServices services(cl);
  services::LocalSetup setup = services.Setup();
  for (size_t i = 0; i < 9; ++i) setup.opacity[i] = static_cast<uint8_t>(100 + 15 * i);
  services.ApplySetup(setup);
  MainWindow window(services);
  auto modalOpacity = [](const std::function<void()>& open) {
    double seen = -1;
    QTimer::singleShot(0, [&] {
      if (QWidget* w = QApplication::activeModalWidget()) {
        seen = w->windowOpacity();
        w->close();
      }
    });
    open();
    return seen;
  };
  struct Case {
    int slot;
    const char* label;
    std::function<double()> opacity;  // of a window that uses the slot; null: none yet
  };
  const Case cases[] = {
      {1, "Connect dialog", nullptr},
      {2, "Remote search", nullptr},
      {3, "Remote setup", nullptr},
      {4, "Firmware upgrade", nullptr},
      {5, "Local setup",
       [&] { return modalOpacity([&] { window.OpenLocalSetup(); }); }},
      {6, "Local playback",
       [&] {
         window.OpenLocalPlayback();
         return window.LocalWindow() ? window.LocalWindow()->windowOpacity() : -1.0;
       }},
      {7, "Log and image viewers", [&] { return modalOpacity([&] { window.OpenLocalLog(); }); }},
      {8, "PTZ panel", nullptr},  // live view only: the gui PTZ tests open it
      {9, "Notice window",
       [&] {
         window.ShowNotice(Notice{15, 0});
         return window.CurrentNotice() ? window.CurrentNotice()->windowOpacity() : -1.0;
       }},
  };
  LocalSetupDialog dialog(services.Setup(), false);
  for (const Case& c : cases) {
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("opacityLabel%1").arg(c.slot));
    ASSERT_NE(label, nullptr) << c.slot;
    EXPECT_EQ(label->text().toStdString(), c.label) << c.slot;
    EXPECT_EQ(dialog.OpacityBox(c.slot - 1)->value(), 100 + 15 * (c.slot - 1));
    if (c.opacity) {
      EXPECT_NEAR(c.opacity(), (100 + 15 * (c.slot - 1)) / 255.0, 0.01) << "slot " << c.slot;
    }
  }
  window.CloseLocalPlayback();
}

TEST(OpenImage, PreviewShowsThePictureAndItsSize) {
  const auto folder = guitest::FreshFolder("saved");
  QImage picture(800, 600, QImage::Format_RGB888);
  picture.fill(QColor(10, 200, 30));
  const std::string bmp = (folder / "20090825081041_0003.bmp").string();
  std::string error;
  ASSERT_TRUE(pictures::WriteBmp(picture, bmp, error)) << error;

  OpenImageDialog dialog(QString::fromStdString(folder.string()), 255);
  EXPECT_EQ(dialog.directory().absolutePath(), QString::fromStdString(folder.string()));
  EXPECT_TRUE(dialog.nameFilters().join(";").contains("*.tif"));
  dialog.Preview(QString::fromStdString(bmp));
  EXPECT_EQ(dialog.SizeText(), "(800 x 600)");
  EXPECT_EQ(dialog.PreviewLabel()->size(), QSize(360, 240));
  EXPECT_FALSE(dialog.PreviewLabel()->pixmap().isNull());

  // Another extension or a file that is not a picture: nothing is shown.
  const auto text = folder / "notes.txt";
  std::ofstream(text) << "not a picture";
  dialog.Preview(QString::fromStdString(text.string()));
  EXPECT_TRUE(dialog.SizeText().isEmpty());
  EXPECT_TRUE(dialog.PreviewLabel()->pixmap().isNull());

  ImageViewer viewer(QString::fromStdString(bmp), 255);
  EXPECT_TRUE(viewer.Loaded());
  EXPECT_EQ(viewer.Image().size(), QSize(800, 600));
  ImageViewer broken(QString::fromStdString(text.string()), 255);
  EXPECT_FALSE(broken.Loaded());
  EXPECT_TRUE(broken.LoadError().contains("only BMP, JPEG and TIFF")) << broken.LoadError().toStdString();
  EXPECT_TRUE(viewer.LoadError().isEmpty());
  broken.grab();  // paints the reason without a picture
}

}  // namespace
}  // namespace orva::view

// Loading saved pictures: the bytes are written to a file named .bmp, .jpg,
// .jpeg or .tif/.tiff (picked by the first byte) and loaded as the image
// viewer does. Runs on the offscreen platform.
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <cstdlib>

#include "fuzz_support.h"
#include "orva/pictures/snapshot.h"

namespace {

QGuiApplication* g_app = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt keeps references to argc and argv and removes the options it knows:
  // it gets arguments of its own, the fuzzer's stay untouched.
  static int argc = 1;
  static char name[] = "images_fuzz";
  static char* argv[] = {name, nullptr};
  g_app = new QGuiApplication(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* const kNames[] = {"picture.bmp", "picture.jpg", "picture.JPEG", "picture.tif", "picture.tiff",
                                       "picture.BMP", "picture.png", "picture"};
  auto& scratch = orva::fuzz::ScratchFolder::Get();
  const auto path = scratch.Path() / kNames[data[0] & 7];
  if (!orva::fuzz::WriteFile(path, {data + 1, size - 1})) std::abort();
  QString error;
  const QImage image = orva::pictures::LoadImageFile(QString::fromStdString(path.string()), &error);
  if (!image.isNull() && image.format() != QImage::Format_RGB888) std::abort();
  if (image.isNull() && error.isEmpty()) std::abort();  // a refusal always says why
  std::filesystem::remove(path);
  return 0;
}

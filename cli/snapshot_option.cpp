#include "snapshot_option.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "cli_session.h"

#ifdef ORVA_HAVE_PICTURES
#include <QGuiApplication>

#include "orva/pictures/snapshot.h"
#endif

namespace orva::cli {
namespace {

struct Picture {
  std::vector<uint8_t> data;
  int width = 0;
  int height = 0;
  bool rgb = false;
  std::string timeText;
};

}  // namespace

struct SnapshotTaker::Impl {
  std::string dir;
  int format = 0;
#ifdef ORVA_HAVE_PICTURES
  std::unique_ptr<QGuiApplication> app;
#endif
  std::mutex lock;  // the pictures arrive on the decode workers' threads
  std::array<std::optional<Picture>, kChannelCount> pictures;
};

bool ParseSnapshotFormat(const std::string& text, int& format, std::string& error) {
  if (text == "jpg") format = 0;
  else if (text == "bmp") format = 1;
  else if (text == "tif") format = 2;
  else {
    error = "--format must be jpg, bmp or tif, not '" + text + "'";
    return false;
  }
  return true;
}

SnapshotTaker::SnapshotTaker(std::string dir, int format) : m_impl(std::make_unique<Impl>()) {
  m_impl->dir = std::move(dir);
  m_impl->format = format;
}

SnapshotTaker::~SnapshotTaker() = default;

bool SnapshotTaker::Prepare(std::string& error) {
#ifdef ORVA_HAVE_PICTURES
  std::error_code ec;
  std::filesystem::create_directories(m_impl->dir, ec);
  if (ec) {
    error = "cannot create " + m_impl->dir + ": " + ec.message();
    return false;
  }
  if (!QGuiApplication::instance()) {
    // No display needed: the pictures are drawn into memory.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "orvactl";
    static char* argv[] = {name, nullptr};
    m_impl->app = std::make_unique<QGuiApplication>(argc, argv);
  }
  pictures::InstallSnapshotFont();
  return true;
#else
  error = "--snapshot needs the picture library, which this orvactl was built without (ORVA_BUILD_GUI=OFF)";
  return false;
#endif
}

void SnapshotTaker::Attach(HeadlessView& view) {
  Impl* impl = m_impl.get();
  view.SetSnapshotHandler(
      [impl](int channel, std::vector<uint8_t> picture, int width, int height, bool rgb, std::string timeText) {
        std::lock_guard lock(impl->lock);
        impl->pictures[static_cast<size_t>(channel & 15)] =
            Picture{std::move(picture), width, height, rgb, std::move(timeText)};
      });
}

int SnapshotTaker::Request(CliSession& session, uint16_t mask, std::chrono::milliseconds wait, std::string& error) {
  if (mask == 0) {
    error = "no channel delivered pictures: no snapshots";
    return kExitTimeout;
  }
  HeadlessView& view = *session.View();
  for (int ch = 0; ch < kChannelCount; ++ch)
    if (mask & (1u << ch)) view.Store().RequestSnapshot(ch);
  auto missing = [&] {
    std::lock_guard lock(m_impl->lock);
    uint16_t left = 0;
    for (int ch = 0; ch < kChannelCount; ++ch)
      if ((mask & (1u << ch)) && !m_impl->pictures[static_cast<size_t>(ch)]) left |= static_cast<uint16_t>(1u << ch);
    return left;
  };
  const int code = session.WaitUntil([&] { return missing() == 0; }, wait, error);
  if (code == kExitTimeout) {
    error = "no picture for a snapshot of channel(s)";
    const uint16_t left = missing();
    for (int ch = 0; ch < kChannelCount; ++ch)
      if (left & (1u << ch)) {
        error += ' ';
        error += std::to_string(ch + 1);
      }
  }
  return code;
}

bool SnapshotTaker::Write(std::ostream& out, std::ostream& err) {
#ifdef ORVA_HAVE_PICTURES
  std::vector<std::unique_ptr<pictures::CSnapshotWriter>> writers;
  {
    std::lock_guard lock(m_impl->lock);
    for (int ch = 0; ch < kChannelCount; ++ch) {
      std::optional<Picture>& p = m_impl->pictures[static_cast<size_t>(ch)];
      if (!p) continue;
      writers.push_back(std::make_unique<pictures::CSnapshotWriter>(
          std::move(p->data), p->width, p->height, p->rgb, ch, QString::fromStdString(p->timeText),
          static_cast<pictures::SaveFormat>(m_impl->format), m_impl->dir));
      p.reset();
    }
  }
  bool ok = true;
  for (const auto& writer : writers) {
    while (!writer->IsDone()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    char channel[16];
    std::snprintf(channel, sizeof channel, "ch%02d", writer->Channel() + 1);
    if (writer->Path().empty()) {
      err << "orvactl: snapshot " << channel << ": " << writer->Error() << "\n";
      ok = false;
    } else {
      out << "snapshot: " << channel << " " << writer->Path() << "\n";
    }
  }
  return ok;
#else
  (void)out;
  err << "orvactl: no picture library: snapshots cannot be written\n";
  return false;
#endif
}

}  // namespace orva::cli

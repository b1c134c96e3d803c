// orvactl live --snapshot DIR --format jpg|bmp|tif: near the end of the run
// every channel that delivered pictures is asked for its next one, which
// the decode worker hands over exactly as it does for the desktop's
// snapshot command; the files are then written by the desktop's own
// snapshot writers, into DIR.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

namespace orva {
class HeadlessView;
}

namespace orva::cli {

class CliSession;

// "jpg" 0, "bmp" 1, "tif" 2 (the SaveFormat setting's values).
bool ParseSnapshotFormat(const std::string& text, int& format, std::string& error);

class SnapshotTaker {
 public:
  SnapshotTaker(std::string dir, int format);
  ~SnapshotTaker();
  SnapshotTaker(const SnapshotTaker&) = delete;
  SnapshotTaker& operator=(const SnapshotTaker&) = delete;

  // Creates DIR and, on this (the main) thread, the QGuiApplication that
  // text drawing needs (offscreen unless QT_QPA_PLATFORM says otherwise).
  // False when DIR cannot be made or orvactl was built without the
  // picture library.
  bool Prepare(std::string& error);
  // Before live view starts: keep the pictures the workers hand over.
  void Attach(HeadlessView& view);
  // While live view runs: asks the channels of `mask` (bit n = channel n)
  // for their next picture and waits up to `wait` for all of them. Returns
  // an orvactl exit code; kExitTimeout names the missing channels.
  int Request(CliSession& session, uint16_t mask, std::chrono::milliseconds wait, std::string& error);
  // Writes what arrived, one writer thread per channel, and prints
  // "snapshot: chNN PATH" per file. False when a file could not be written.
  bool Write(std::ostream& out, std::ostream& err);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace orva::cli

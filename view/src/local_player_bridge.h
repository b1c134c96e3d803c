// The local player's reports, from its reader thread onto the GUI thread:
// each becomes a queued signal; the shown-frame time is coalesced so that
// one queued call carries the newest.
#pragma once

#include <QObject>
#include <atomic>

#include "orva/recordings/local_player.h"

namespace orva::view {

class LocalPlayerBridge : public QObject, public LocalPlayerObserver {
  Q_OBJECT
 public:
  using QObject::QObject;

 signals:
  void shownTime(quint32 time);
  void speedChanged(int speed);
  void audioChannels(quint16 mask);
  void listEnd();
  void stopped();

 private:
  void OnShownTime(uint32_t time) override {
    m_shown.store(time);
    if (m_shownPosted.exchange(true)) return;
    Post([this] {
      m_shownPosted = false;
      emit shownTime(m_shown.load());
    });
  }
  void OnSpeedChanged(int speed) override {
    Post([this, speed] { emit speedChanged(speed); });
  }
  void OnAudioChannels(uint16_t mask) override {
    Post([this, mask] { emit audioChannels(mask); });
  }
  void OnListEnd() override {
    Post([this] { emit listEnd(); });
  }
  void OnStopped() override {
    Post([this] { emit stopped(); });
  }
  template <typename F>
  void Post(F&& f) {
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
  }

  std::atomic<uint32_t> m_shown{0};
  std::atomic<bool> m_shownPosted{false};
};

}  // namespace orva::view

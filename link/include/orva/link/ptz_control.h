// Pan-tilt-zoom requests: choosing the PTZ channel, key presses and
// releases, preset actions and the dome camera's own menu, and what
// PTZ_CHANNEL_ACK says about the channel.
//
// Attach() before the session opens. Requests come from the owner's (UI)
// thread; the PTZ_CHANNEL_ACK handler runs on the receive thread and reports
// through PtzObserver (record and post only).
#pragma once

#include <atomic>
#include <cstdint>

#include "orva/link/dvr_session.h"

namespace orva {

// Panel modes: 0 pan, 1 zoom.
enum class PtzMode : uint8_t { kPan = 0, kZoom = 1 };
// The panel's four direction keys, by their index 0-3 on the pad.
enum class PtzKey : int { kUp = 0, kDown = 1, kLeft = 2, kRight = 3 };

// PTZ_MOVE_REQ command numbers beyond the keys.
inline constexpr uint8_t kPtzPresetBase = 8;          // preset action k (1-4) is 8 + k
inline constexpr uint8_t kPtzDomeMenuAccess = 13;
inline constexpr uint8_t kPtzMenuEnter = 14;
inline constexpr uint8_t kPtzMenuEscape = 15;
inline constexpr uint8_t kPtzDomeMenuLeave = 16;

// The command a key sends in a mode: pan up 2, down 3, left 1, right 0;
// zoom up 4, down 5, left 7, right 6.
uint8_t PtzKeyCommand(PtzMode mode, PtzKey key);
// PTZ_MOVE_REQ payload: command, preset low byte, 0, preset high byte.
void EncodePtzMove(uint8_t command, uint16_t preset, uint8_t out[4]);

// The PTZ channel: the remembered channel when it is shown and has video,
// else the first shown channel without video loss; -1 when none qualifies.
// shownInPaneOrder lists the channels of the shown panes, in pane order.
int ChoosePtzChannel(int remembered, const int* shownInPaneOrder, int count, uint16_t videoLoss);

class PtzObserver {
 public:
  virtual ~PtzObserver() = default;
  // PTZ_CHANNEL_ACK: whether the channel can be steered.
  virtual void OnPtzAvailability(bool steerable) { (void)steerable; }
};

class PtzControl {
 public:
  explicit PtzControl(PtzObserver* observer = nullptr);
  void Attach(DvrSession& session);

  // PTZ_CHANNEL_REQ for the channel in the mode; availability becomes unknown.
  bool SelectChannel(int channel, PtzMode mode);
  // Key pressed: PTZ_MOVE_REQ with the key's command; released:
  // PTZ_MOVE_STOP. Only while live view is active.
  bool KeyPressed(PtzKey key);
  bool KeyReleased();
  // Preset action k (1-4) with a preset number: command 8 + k (action 1 is
  // sent as 12 in the alternative mode). Action 2 starts a running action,
  // action 3 ends it.
  bool Preset(int action, uint16_t number, bool alternative = false);
  // Dome menu: 13 opens it, 14 enter, 15 escape, 16 leaves it.
  bool DomeMenu(uint8_t command);
  // The panel closes (live stop, disconnect): ends a running preset action
  // (command 11 with its number) and forgets channel and availability.
  void ClosePanel();

  PtzMode Mode() const { return static_cast<PtzMode>(m_mode.load()); }
  int Channel() const { return m_channel.load(); }
  // 0 not yet known, 1 cannot be steered, 2 can.
  int Availability() const { return m_availability.load(); }
  bool PresetRunning() const { return m_presetRunning.load(); }
  bool MenuMode() const { return m_menuMode.load(); }

  bool RecvFn_PtzChannelAck(DvrSession& session, const MessageHeader& header);

 private:
  bool SendMove(uint8_t command, uint16_t preset);

  PtzObserver* const m_observer;
  DvrSession* m_session = nullptr;
  std::atomic<uint8_t> m_mode{0};
  std::atomic<int> m_channel{0};
  std::atomic<int> m_availability{0};
  std::atomic<bool> m_presetRunning{false};
  std::atomic<uint16_t> m_presetNumber{0};
  std::atomic<bool> m_menuMode{false};
};

}  // namespace orva

// The steerable cameras of the simulated recorder, shared by the session
// that steers them and the streaming thread that renders their views. A held
// move advances one step per frame sent on the channel, so the picture and
// the position always agree.
#pragma once

#include <array>
#include <map>
#include <mutex>
#include <string>

#include "orva/sim/config.h"
#include "orva/sim/simulator.h"

namespace orva::sim::detail {

inline constexpr int kPtzPanStep = 8;       // scene pixels per frame
inline constexpr int kPtzZoomStep = 5;      // percent per frame
inline constexpr int kPtzMinZoom = 100;
inline constexpr int kPtzMaxZoom = 400;
inline constexpr int kPtzMenuRows = 4;
inline constexpr int kPtzSceneScale = 4;    // scene = 4 x the picture in each direction

// Command numbers of PTZ_MOVE_REQ.
enum PtzCommand : int {
  kPtzRight = 0, kPtzLeft = 1, kPtzUp = 2, kPtzDown = 3, kPtzZoomIn = 4, kPtzZoomOut = 5,
  kPtzFocusNear = 6, kPtzFocusFar = 7, kPtzPresetStore = 9, kPtzTourStart = 10,
  kPtzTourEnd = 11, kPtzPresetRecall = 12, kPtzMenuOpen = 13, kPtzMenuEnter = 14,
  kPtzMenuEscape = 15, kPtzMenuClose = 16,
};

class PtzCameras {
 public:
  explicit PtzCameras(const SimConfig& config);
  bool Steerable(int channel) const;
  // Acts on one PTZ_MOVE_REQ; returns a short description for the trace,
  // or an error text for a command number the recorder does not know.
  bool Command(int channel, int command, int preset, std::string& what);
  void Stop(int channel);      // PTZ_MOVE_STOP: ends the held move
  void Advance(int channel);   // one frame of the held move
  PtzState Get(int channel) const;

 private:
  struct Camera {
    bool steerable = false;
    PtzState state;
    int held = -1;  // command of the move in progress
    int sceneWidth = 0, sceneHeight = 0, viewWidth = 0, viewHeight = 0;
    std::map<int, PtzState> presets;
    bool tourRunning = false;
    int tourPreset = 0;
  };
  static void Clamp(Camera& camera);

  mutable std::mutex mutex_;
  std::array<Camera, 16> cameras_{};
};

}  // namespace orva::sim::detail

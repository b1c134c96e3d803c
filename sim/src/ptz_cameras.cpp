#include "ptz_cameras.h"

#include <algorithm>

#include "stream_records.h"

namespace orva::sim::detail {

namespace {
bool InRange(int channel) { return channel >= 0 && channel < 16; }
}  // namespace

PtzCameras::PtzCameras(const SimConfig& config) {
  const int count = std::min<int>(config.channels, 16);
  for (int ch = 0; ch < count; ++ch) {
    const size_t index = static_cast<size_t>(ch);
    Camera& camera = cameras_[index];
    camera.steerable = config.ptzChannels[index];
    const VideoFormat format = VideoFormatFor(config.video.SizeCodeOf(index), config.video.pal);
    camera.viewWidth = format.width;
    camera.viewHeight = format.height;
    camera.sceneWidth = format.width * kPtzSceneScale;
    camera.sceneHeight = format.height * kPtzSceneScale;
    if (camera.steerable) {
      camera.state.x = camera.sceneWidth / 2;  // start on the middle of the scene
      camera.state.y = camera.sceneHeight / 2;
    }
  }
}

bool PtzCameras::Steerable(int channel) const {
  return InRange(channel) && cameras_[static_cast<size_t>(channel)].steerable;
}

void PtzCameras::Clamp(Camera& camera) {
  PtzState& s = camera.state;
  s.zoom = std::clamp(s.zoom, kPtzMinZoom, kPtzMaxZoom);
  // The view never leaves the scene.
  const int halfWidth = camera.viewWidth * 50 / s.zoom;
  const int halfHeight = camera.viewHeight * 50 / s.zoom;
  s.x = std::clamp(s.x, halfWidth, camera.sceneWidth - halfWidth);
  s.y = std::clamp(s.y, halfHeight, camera.sceneHeight - halfHeight);
}

bool PtzCameras::Command(int channel, int command, int preset, std::string& what) {
  if (!Steerable(channel)) {
    what = "channel cannot be steered, ignored";
    return true;
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  Camera& camera = cameras_[static_cast<size_t>(channel)];
  PtzState& s = camera.state;
  switch (command) {
    case kPtzRight: case kPtzLeft: case kPtzUp: case kPtzDown:
      if (s.menuOpen) {
        // Inside the dome menu up and down step the highlight once per press.
        if (command == kPtzUp) s.menuRow = (s.menuRow + kPtzMenuRows - 1) % kPtzMenuRows;
        if (command == kPtzDown) s.menuRow = (s.menuRow + 1) % kPtzMenuRows;
        what = "menu row " + std::to_string(s.menuRow);
        return true;
      }
      camera.held = command;
      what = "move " + std::to_string(command);
      return true;
    case kPtzZoomIn: case kPtzZoomOut:
      if (!s.menuOpen) camera.held = command;
      what = "zoom " + std::to_string(command);
      return true;
    case kPtzFocusNear: case kPtzFocusFar:
      what = "focus (no visible effect)";
      return true;
    case kPtzPresetStore:
      camera.presets[preset] = s;
      camera.presets[preset].menuOpen = false;
      what = "preset " + std::to_string(preset) + " stored";
      return true;
    case kPtzTourStart:
      camera.tourRunning = true;
      camera.tourPreset = preset;
      what = "action " + std::to_string(preset) + " running";
      return true;
    case kPtzTourEnd:
      camera.tourRunning = false;
      what = "action " + std::to_string(preset) + " ended";
      return true;
    case kPtzPresetRecall: {
      const auto it = camera.presets.find(preset);
      if (it == camera.presets.end()) {
        what = "preset " + std::to_string(preset) + " not stored, ignored";
        return true;
      }
      camera.held = -1;
      s.x = it->second.x;
      s.y = it->second.y;
      s.zoom = it->second.zoom;
      Clamp(camera);
      what = "preset " + std::to_string(preset) + " recalled";
      return true;
    }
    case kPtzMenuOpen:
      camera.held = -1;
      s.menuOpen = true;
      s.menuRow = 0;
      what = "dome menu open";
      return true;
    case kPtzMenuEnter: case kPtzMenuEscape:
      what = command == kPtzMenuEnter ? "menu enter" : "menu escape";
      return true;
    case kPtzMenuClose:
      s.menuOpen = false;
      what = "dome menu closed";
      return true;
    default:
      what = "unknown PTZ command " + std::to_string(command);
      return false;
  }
}

void PtzCameras::Stop(int channel) {
  if (!InRange(channel)) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  cameras_[static_cast<size_t>(channel)].held = -1;
}

void PtzCameras::Advance(int channel) {
  if (!Steerable(channel)) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  Camera& camera = cameras_[static_cast<size_t>(channel)];
  PtzState& s = camera.state;
  switch (camera.held) {
    case kPtzRight: s.x += kPtzPanStep; break;
    case kPtzLeft: s.x -= kPtzPanStep; break;
    case kPtzUp: s.y -= kPtzPanStep; break;
    case kPtzDown: s.y += kPtzPanStep; break;
    case kPtzZoomIn: s.zoom += kPtzZoomStep; break;
    case kPtzZoomOut: s.zoom -= kPtzZoomStep; break;
    default: return;
  }
  Clamp(camera);
}

PtzState PtzCameras::Get(int channel) const {
  if (!Steerable(channel)) return {};
  const std::lock_guard<std::mutex> lock(mutex_);
  return cameras_[static_cast<size_t>(channel)].state;
}

}  // namespace orva::sim::detail

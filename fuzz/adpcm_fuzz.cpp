// ADPCM audio frames: the 16-byte frame header, the frame check and the
// decoder, with the decoder state taken from the header as the player does.
#include <cstdlib>
#include <string>
#include <vector>

#include "orva/media/adpcm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orva::AudioFrameInfo info;
  std::string error;
  (void)orva::ParseAudioFrameHeader(data, size, info);
  if (!orva::CheckAudioFrame(data, size, info, error)) return 0;
  if (info.frameLength < orva::kAudioFrameHeaderBytes || info.frameLength > size) std::abort();
  orva::AdpcmState state{info.predictor, info.stepIndex};
  static std::vector<int16_t> pcm(orva::kAudioChunkBytes / 2);
  const size_t codes = info.frameLength - orva::kAudioFrameHeaderBytes;
  // The player decodes into one chunk; a frame with more codes is cut.
  const size_t samples =
      orva::DecodeImaAdpcm(data + orva::kAudioFrameHeaderBytes, codes, state, pcm.data(), pcm.size());
  if (samples > pcm.size() || samples > codes * 2) std::abort();
  if (state.index < 0 || state.index > orva::kAdpcmMaxIndex) std::abort();
  return 0;
}

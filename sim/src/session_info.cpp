// The recorder's log and its status: LOG_INFO_REQ and STATUS_INFO_REQ.
#include "orva/sim/payloads.h"
#include "orva/sim/wire.h"
#include "session.h"

namespace orva::sim::detail {

namespace {

constexpr size_t kStatusBytes = 16;
constexpr size_t kDeviceBytes = 12;  // present flags, values, states of four devices
constexpr uint32_t kStateIdle = 0, kStateRecording = 1;
constexpr uint64_t kSecondsPerDay = 86400;

}  // namespace

bool ClientSession::OnLogInfo(const ReceivedMessage&) {
  const SimInfoConfig& info = context_.config.info;
  if (info.logNack != 0) return Send(code::kLogInfoNack, BuildResult(info.logNack));
  return SendFragmented(code::kLogInfoAck,
                        context_.log->Block(*context_.archive,
                                            static_cast<size_t>(info.logEvents),
                                            static_cast<size_t>(info.logRecordBytes)));
}

bool ClientSession::OnStatusInfo(const ReceivedMessage&) {
  const SimConfig& config = context_.config;
  const SimInfoConfig& info = config.info;
  if (info.statusNack != 0) return Send(code::kStatusInfoNack, BuildResult(info.statusNack));
  const Archive& archive = *context_.archive;
  // Channels recording now: those the archive records at this second while it
  // follows the clock, and every present channel once REC_ON_REQ was granted.
  uint32_t mask = 0;
  if (config.archive.end == 0 && !archive.Empty()) {
    const uint32_t now = archive.Last();
    for (int ch = 0; ch < 16; ++ch) {
      if (archive.At(ch, now)) mask |= 1u << ch;
    }
  }
  if (context_.recording->load()) {
    const unsigned present = config.channels < 16 ? config.channels : 16u;
    mask |= (1u << present) - 1u;
  }
  // Free space: the disk less what the recorded days take.
  const uint64_t recorded = archive.Empty() ? 0 : uint64_t{archive.Last()} - archive.First() + 1;
  const uint64_t used = recorded * info.diskDayMb / kSecondsPerDay;
  const uint32_t free =
      used >= info.diskTotalMb ? 0 : static_cast<uint32_t>(info.diskTotalMb - used);

  std::vector<uint8_t> block(kStatusBytes + (info.statusDevices > 0 ? kDeviceBytes : 0), 0);
  PutU32(block.data(), mask);
  PutU32(block.data() + 4, mask != 0 ? kStateRecording : kStateIdle);
  PutU32(block.data() + 8, info.diskTotalMb);
  PutU32(block.data() + 12, free);
  // Device d (0-3): present, a value of 32 x (d + 1), state d mod 3.
  for (int d = 0; d < info.statusDevices && d < 4; ++d) {
    block[kStatusBytes + static_cast<size_t>(d)] = 1;
    block[kStatusBytes + 4 + static_cast<size_t>(d)] = static_cast<uint8_t>(32 * (d + 1));
    block[kStatusBytes + 8 + static_cast<size_t>(d)] = static_cast<uint8_t>(d % 3);
  }
  return SendFragmented(code::kStatusInfoAck, block);
}

}  // namespace orva::sim::detail

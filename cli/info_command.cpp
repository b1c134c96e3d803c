#include <cstdio>
#include <string>

#include "cli_session.h"
#include "commands.h"
#include "orva/link/time_convert.h"

namespace orva::cli {
namespace {

void PrintIdentity(const std::string& address, const RecorderIdentity& id, int dateFormat, std::ostream& out) {
  out << "address: " << address << "\n";
  out << "product_number: " << int(id.productNumber) << "\n";
  out << "family: " << ProductFamily(id.productNumber) << "\n";
  out << "protocol: " << int(id.protocolMajor) << "." << int(id.protocolMinor) << "\n";
  out << "version: " << int(id.productMajor) << "." << int(id.productMinor) << "\n";
  out << "front: " << int(id.frontVersion) << "\n";
  out << "channels: " << int(id.channelNum) << "\n";
  out << "account: " << int(id.account) << "\n";
  out << "mac: " << FormatMac(id.mac) << "\n";
  for (int i = 0; i < kFirmwareComponents; ++i)
    if (id.firmVer[i] != 0) out << "firmware: " << i << " " << id.firmName[i].data() << " " << FormatRecorderTime(id.firmVer[i], dateFormat) << "\n";
}

void PrintRights(const RightsSnapshot& rights, std::ostream& out) {
  out << "user_slot: " << rights.userSlot << "\n";
  out << "rights:";
  for (int r = 0; r < kRightCount; ++r)
    if (rights.Has(static_cast<Right>(r))) out << " " << RightName(static_cast<Right>(r));
  out << "\n";
}

void PrintCameras(const CameraSnapshot& cameras, int channels, std::ostream& out) {
  for (int ch = 0; ch < channels && ch < 16; ++ch) {
    out << "camera: " << ch + 1;
    if (cameras.titles[ch][0] != '\0') out << " " << cameras.titles[ch].data();
    if (cameras.covert[ch] == 1) out << " covert";
    out << "\n";
  }
}

}  // namespace

int RunInfo(const Options& options, std::ostream& out, std::ostream& err) {
  if (!options.args.empty()) {
    err << "orvactl: info takes no arguments\n";
    return kExitUsage;
  }
  CliSession session(options);
  std::string error;
  int code = session.Login(error);
  if (code == kExitOk) code = session.WaitForAnnouncements(std::chrono::seconds(1), error);
  if (code != kExitOk) {
    session.Close();
    err << "orvactl: " << error << "\n";
    return code;
  }
  const RecorderIdentity id = session.Session().Identity();
  PrintIdentity(session.AddressText(), id, options.dateFormat, out);
  PrintRights(*session.Rights().Rights(), out);
  PrintCameras(*session.Rights().Cameras(), id.channelNum, out);
  out.flush();
  session.Close();
  return kExitOk;
}

}  // namespace orva::cli

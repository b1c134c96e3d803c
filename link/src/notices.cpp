#include "orva/link/notices.h"

namespace orva {
namespace {

struct Row {
  uint16_t category;
  uint16_t code;
  NoticeText text;
};

// clang-format off
constexpr Row kRows[] = {
  {0, 0, {"Connection", "The client could not create a network socket. Check the computer's network setup and try again."}},
  {1, 0, {"Connection", "The recorder did not answer in time. Check its address and port and that it is switched on and reachable."}},
  {1, 1, {"Connection", "The recorder refused the connection. Check the port number and that remote access is enabled on the recorder."}},
  {2, 0, {"Connection", "The connection to the recorder has ended."}},
  {3, 0, {"Login refused", "The recorder did not accept the user ID or password. Check them and connect again."}},
  {3, 1, {"Login refused", "The recorder already serves as many remote users as it allows. Try again later."}},
  {3, 2, {"Login refused", "The recorder is busy with its local setup. Try again when the setup is closed."}},
  {3, 3, {"Disconnected", "The recorder ended the connection because its setup was changed."}},
  {3, 4, {"Disconnected", "The recorder ended the connection because it is being upgraded."}},
  {3, 5, {"Disconnected", "The recorder ended the connection because it is restarting."}},
  {3, 6, {"Disconnected", "The recorder ended the connection because it is shutting down."}},
  {3, 7, {"Disconnected", "The recorder ended the connection."}},
  {4, 0, {"No data", "The recorder has no data for this request."}},
  {5, 0, {"Request refused", "The recorder refused the request. Try again in a moment."}},
  {5, 1, {"Recording", "The recorder cannot record now: no disk is available for recording."}},
  {5, 2, {"Recording", "The recorder cannot change recording now: its disks are full or being checked."}},
  {6, 0, {"Request refused", "The recorder refused the request."}},
  {6, 1, {"Request refused", "The recorder is busy with another request. Try again in a moment."}},
  {6, 2, {"Request refused", "The recorder cannot carry out this request now."}},
  {6, 3, {"Request refused", "The recorder's disk is not ready. Try again later."}},
  {6, 4, {"Request refused", "Another user is already using this function of the recorder."}},
  {6, 5, {"Not enough space", "The chosen stretch does not fit into the free space."}},
  {6, 6, {"Request refused", "The recorder is busy with a backup. Try again later."}},
  {6, 7, {"Request refused", "The recorder is recording and cannot reset its setup now."}},
  {7, 0, {"Setup not saved", "The recorder refused the new setup. Send it again?"}},
  {7, 1, {"Setup not saved", "The recorder is busy and did not take the new setup. Send it again?"}},
  {7, 2, {"Setup not saved", "Another user is changing the setup. Send it again?"}},
  {7, 3, {"Setup not saved", "The recorder is recording and did not take the new setup. Send it again?"}},
  {8, 5, {"Firmware", "The firmware was updated. Restart the recorder now?"}},
  {9, 0, {"Setup", "The setup received from the recorder is damaged (checksum mismatch). Open the setup again."}},
  {10, 0, {"Setup", "The recorder has taken the new setup."}},
  {11, 0, {"Firmware", "Firmware files for this recorder were found in the upgrade folder."}},
  {11, 1, {"Firmware", "No firmware file for this recorder was found in the upgrade folder."}},
  {12, 0, {"Listen", "The recorder has no audio input for listening."}},
  {12, 1, {"Listen", "Another user is already listening on this recorder."}},
  {13, 0, {"Not enough space", "There is not enough free disk space on this computer for the download."}},
  {15, 0, {"Not permitted", "Your user account does not have the right to do this. Ask the recorder's administrator."}},
  {16, 0, {"Setup", "Reset the recorder's setup to the factory values?"}},
  {20, 0, {"Wrong recorder", "Not ORVA7000 !"}},
  {21, 0, {"Download stopped", "The download files could not be written (disk full or not writable). What was received so far is kept."}},
};
// clang-format on

}  // namespace

bool NoticeForByeResult(int32_t result, Notice& out) {
  switch (result) {
    case 1: out = {3, 0}; return true;
    case 2: out = {3, 1}; return true;
    case 3: out = {3, 2}; return true;
    case 33: out = {3, 3}; return true;
    case 34: out = {3, 4}; return true;
    case 35: out = {3, 5}; return true;
    case 36: out = {3, 6}; return true;
    case -2: out = {3, 7}; return true;
    case 37: out = kNoticeNotPermitted; return true;
    default: return false;
  }
}

NoticeText LookupNotice(Notice notice) {
  for (const Row& row : kRows)
    if (row.category == notice.category && row.code == notice.code) return row.text;
  return {"Notice", "The recorder reported a problem."};
}

std::string FormatNotice(Notice notice) {
  NoticeText t = LookupNotice(notice);
  return std::string(t.title) + ": " + t.text;
}

}  // namespace orva

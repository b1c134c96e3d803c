// RIGHT_CHANGE and DB_CHANGE arriving over a real connection from a scripted
// recorder: slot lookup, password replacement, withdrawn access, the actions
// for the gated windows, covert flags, and whole-table replacement seen from
// another thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "orva/link/catalogue.h"
#include "orva/setup/rights_monitor.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace std::chrono_literals;
using test::Frame;
using test::ScriptedRecorder;
using test::WireMessage;

struct RecordingRights : RightsObserver {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<RightsActions> actions;
  std::vector<std::pair<std::array<uint8_t, 16>, bool>> covert;
  int cameras = 0;
  void OnRightsChanged(const RightsSnapshot&, const RightsActions& a) override {
    std::lock_guard g(lock);
    actions.push_back(a);
    changed.notify_all();
  }
  void OnCamerasChanged(const CameraSnapshot&) override {
    std::lock_guard g(lock);
    ++cameras;
    changed.notify_all();
  }
  void OnCovertApplied(const std::array<uint8_t, 16>& flags, bool differs) override {
    std::lock_guard g(lock);
    covert.emplace_back(flags, differs);
    changed.notify_all();
  }
};

UserRightsTable Table(bool allRights = true) {
  UserRightsTable t;
  t.SetUserId(0, "admin");
  t.SetPassword(0, "admin");
  t.SetLevel(0, 1);
  t.SetUserId(3, "Operator");
  t.SetPassword(3, "NewSecretPassword");
  t.SetLevel(3, 2);
  for (int r = 0; r < kRightCount; ++r) {
    t.SetRightByte(0, static_cast<Right>(r), 1);
    t.SetRightByte(3, static_cast<Right>(r), allRights ? 1 : 0);
  }
  t.SetRightByte(3, Right::kAccess, 1);
  return t;
}

std::vector<uint8_t> Bytes(const UserRightsTable& t) { return {t.bytes.begin(), t.bytes.end()}; }

std::vector<uint8_t> DbChange(std::array<uint8_t, 16> covert, const char* firstName) {
  std::vector<uint8_t> p(596, 0);
  std::copy(covert.begin(), covert.end(), p.begin() + 4);
  std::memcpy(p.data() + 20, firstName, std::strlen(firstName));
  return p;
}

class RightsMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConnectParams params{"127.0.0.1", recorder.Port(), "OPERATOR", "oldpassword", ""};
    session = std::make_unique<DvrSession>(std::move(params), &observer, nullptr, test::FastTiming());
    monitor.Attach(*session);
    session->Open();
    ASSERT_TRUE(recorder.Accept());
    WireMessage hello;
    ASSERT_TRUE(recorder.ReadMessage(hello));
    ASSERT_TRUE(recorder.Write(Frame(msg::HELLO48_ACK, ScriptedRecorder::IdentityPayload())));
    ASSERT_TRUE(observer.WaitForIdentity());
  }
  // Sends a message and waits until the loop has handled it (a goodbye with
  // result 1 afterwards marks the point).
  void Deliver(uint16_t code, const std::vector<uint8_t>& payload) {
    ASSERT_TRUE(recorder.Write(Frame(code, payload)));
    ASSERT_TRUE(recorder.Write(Frame(msg::BYE48, test::Be32(1))));
    ++marks;
    ASSERT_TRUE(WaitMarks());
  }
  bool WaitMarks() {
    for (int i = 0; i < 200; ++i) {
      auto n = observer.Notices();
      if (std::count(n.begin(), n.end(), Notice{3, 0}) >= marks) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  ScriptedRecorder recorder;
  test::RecordingObserver observer;
  RecordingRights rightsObserver;
  RightsMonitor monitor{&rightsObserver};
  std::unique_ptr<DvrSession> session;
  int marks = 0;
};

TEST_F(RightsMonitorTest, FindsTheUserInOtherLetterCaseAndTakesTheWholeNewPassword) {
  Deliver(msg::RIGHT_CHANGE, Bytes(Table()));
  auto rights = monitor.Rights();
  EXPECT_EQ(rights->userSlot, 3);
  EXPECT_TRUE(rights->tableReceived);
  EXPECT_TRUE(monitor.Has(Right::kReboot));
  // Lower-cased like HELLO sends it, and all of it: no tail of the old text.
  EXPECT_EQ(session->LoginPassword(), "newsecretpassword");
}

TEST_F(RightsMonitorTest, WithdrawnAccessPostsNotPermittedAndKeepsTheSlot) {
  Deliver(msg::RIGHT_CHANGE, Bytes(Table()));
  UserRightsTable t = Table();
  t.SetUserId(2, "operator");  // an earlier slot with the same ID wins
  t.SetLevel(2, 1);
  t.SetRightByte(2, Right::kAccess, 0);
  Deliver(msg::RIGHT_CHANGE, Bytes(t));
  auto rights = monitor.Rights();
  EXPECT_TRUE(rights->accessWithdrawn);
  EXPECT_EQ(rights->userSlot, 3);
  auto notices = observer.Notices();
  EXPECT_EQ(std::count(notices.begin(), notices.end(), kNoticeNotPermitted), 1);
  {
    // The handling stops there: no window is told anything, above all the
    // search window is not told that everything is allowed.
    std::lock_guard g(rightsObserver.lock);
    const RightsActions& a = rightsObserver.actions.back();
    EXPECT_TRUE(a.accessWithdrawn);
    EXPECT_EQ(a.search, SearchAccess::kUnchanged);
    EXPECT_FALSE(a.stopPlayback || a.stopDownload || a.clearPlaybackState || a.closeSetupWindow || a.stopPtz);
  }

  UserRightsTable unused = Table();
  unused.SetLevel(3, 0);  // a level of 0 means the slot is not in use
  Deliver(msg::RIGHT_CHANGE, Bytes(unused));
  notices = observer.Notices();
  EXPECT_EQ(std::count(notices.begin(), notices.end(), kNoticeNotPermitted), 2);
}

TEST_F(RightsMonitorTest, ATableOfTheWrongSizeLeavesEveryRightAtZero) {
  Deliver(msg::RIGHT_CHANGE, Bytes(Table()));
  ASSERT_TRUE(monitor.Has(Right::kSetup));
  std::vector<uint8_t> shortTable = Bytes(Table());
  shortTable.pop_back();
  Deliver(msg::RIGHT_CHANGE, shortTable);
  for (int r = 0; r < kRightCount; ++r) EXPECT_FALSE(monitor.Has(static_cast<Right>(r))) << r;
  EXPECT_EQ(monitor.Rights()->userSlot, 3);
  EXPECT_EQ(session->LoginPassword(), "newsecretpassword");
}

TEST_F(RightsMonitorTest, PlaybackAndBackupRightsSelectWhatTheSearchWindowMayDo) {
  struct Case {
    bool pb, bk;
    SearchAccess search;
    bool stopPlayback, stopDownload;
  };
  for (Case c : {Case{false, false, SearchAccess::kNone, true, true},
                 Case{false, true, SearchAccess::kBackupOnly, true, false},
                 Case{true, false, SearchAccess::kPlaybackOnly, false, true},
                 Case{true, true, SearchAccess::kAll, false, false}}) {
    UserRightsTable t = Table();
    t.SetRightByte(3, Right::kPlayback, c.pb);
    t.SetRightByte(3, Right::kBackup, c.bk);
    t.SetRightByte(3, Right::kSetup, 0);
    Deliver(msg::RIGHT_CHANGE, Bytes(t));
    std::lock_guard g(rightsObserver.lock);
    const RightsActions& a = rightsObserver.actions.back();
    EXPECT_EQ(a.search, c.search);
    EXPECT_EQ(a.stopPlayback, c.stopPlayback);
    EXPECT_EQ(a.stopDownload, c.stopDownload);
    EXPECT_EQ(a.clearPlaybackState, !c.pb);
    EXPECT_TRUE(a.closeSetupWindow);
    EXPECT_FALSE(a.stopPtz);
    EXPECT_FALSE(a.accessWithdrawn);
  }
}

TEST_F(RightsMonitorTest, CovertChannelsAreMarkedOnlyForUsersWithoutTheCovertRight) {
  std::array<uint8_t, 16> covert{};
  covert[1] = 1;
  covert[5] = 1;
  Deliver(msg::RIGHT_CHANGE, Bytes(Table(true)));
  Deliver(msg::DB_CHANGE, DbChange(covert, "Front door"));
  EXPECT_EQ(monitor.AppliedCovert(), (std::array<uint8_t, 16>{}));
  EXPECT_STREQ(monitor.Cameras()->titles[0].data(), "Front door");
  EXPECT_EQ(monitor.Cameras()->covert, covert);
  {
    std::lock_guard g(rightsObserver.lock);
    EXPECT_TRUE(rightsObserver.covert.empty());
  }

  Deliver(msg::RIGHT_CHANGE, Bytes(Table(false)));  // covert right withdrawn
  Deliver(msg::DB_CHANGE, DbChange(covert, "Front door"));
  EXPECT_EQ(monitor.AppliedCovert(), covert);
  std::lock_guard g(rightsObserver.lock);
  ASSERT_EQ(rightsObserver.covert.size(), 2u);
  EXPECT_EQ(rightsObserver.covert[0].first, covert);  // from the rights path
  EXPECT_TRUE(rightsObserver.covert[0].second);
  EXPECT_EQ(rightsObserver.covert[1].first, covert);  // from the change record,
  EXPECT_FALSE(rightsObserver.covert[1].second);      // already applied: no repaint
}

TEST_F(RightsMonitorTest, AChangeRecordOfTheWrongSizeKeepsTheTitles) {
  Deliver(msg::DB_CHANGE, DbChange({}, "Lobby"));
  Deliver(msg::DB_CHANGE_UNICODE, std::vector<uint8_t>(1000, 0x41));
  auto cameras = monitor.Cameras();
  EXPECT_STREQ(cameras->titles[0].data(), "Lobby");
  EXPECT_TRUE(cameras->unicode);  // the flag follows the message kind
  std::lock_guard g(rightsObserver.lock);
  EXPECT_EQ(rightsObserver.cameras, 1);
}

TEST_F(RightsMonitorTest, ReadersOnOtherThreadsNeverSeeHalfATable) {
  UserRightsTable all = Table(true);
  UserRightsTable none = Table(false);
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, reads{0};
  std::thread reader([&] {
    while (!done) {
      auto r = monitor.Rights();
      int granted = 0;
      for (Right right : {Right::kStopRecording, Right::kSetup, Right::kPlayback, Right::kBackup, Right::kPtz,
                          Right::kCovert, Right::kReboot})
        granted += r->table.Has(3, right);
      if (granted != 0 && granted != 7) ++torn;
      ++reads;
    }
  });
  std::vector<uint8_t> burst;
  for (int i = 0; i < 200; ++i) {
    auto f = Frame(msg::RIGHT_CHANGE, Bytes(i % 2 ? none : all));
    burst.insert(burst.end(), f.begin(), f.end());
  }
  ASSERT_TRUE(recorder.Write(burst));
  Deliver(msg::RIGHT_CHANGE, Bytes(all));
  done = true;
  reader.join();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_TRUE(monitor.Has(Right::kPtz));
}

}  // namespace
}  // namespace orva

// Fetching and sending the setup database, the factory reset, the test
// e-mail, and the recorder's language/protocol tables.
//
// Threads
// - Attach() before the session opens. The handlers run on the receive
//   thread; every handler reads exactly the payload its header announces.
// - Requests (RequestDatabase, SendUpdate, Resend, RequestFactoryReset,
//   SendTestMail) and the edit guard are called from the UI thread (any one
//   thread that owns the setup window).
// - SetupObserver callbacks run on the receive thread (except
//   OnCloseSetupWindow, which runs on the thread calling
//   RequestFactoryReset); they only record and post. Notices go through
//   DvrSession::PostNotice as every other refusal does.
//
// The image: the receive thread replaces it only with a complete,
// CRC-correct DB_INFO_ACK, and never while a setup window edits it:
// between EditBegin() and EditEnd() the image belongs to the editing thread
// alone, and a complete DB_INFO_ACK arriving then is dropped with a trace.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "orva/link/dvr_session.h"
#include "orva/link/reassembly.h"
#include "orva/setup/setup_database.h"
#include "orva/setup/system_tables.h"

namespace orva {

inline constexpr size_t kSetupCrcSize = 4;
inline constexpr size_t kDbUpdateSize = kSetupCrcSize + kSetupDatabaseSize;  // 64,516

enum class SetupRejection {
  kCrcMismatch,     // notice 9/0, image untouched
  kOverrun,         // the fragments would overrun the reassembly area
  kTooShort,        // complete but shorter than the CRC and a whole record
  kWhileEditing,    // a setup window is editing the image
};

class SetupObserver {
 public:
  virtual ~SetupObserver() = default;
  // A complete, CRC-correct database is in the image: open the setup window.
  virtual void OnDatabaseReady() {}
  virtual void OnDatabaseRejected(SetupRejection reason) { (void)reason; }
  // DB48_INFO_NACK with its result code (the notice, if any, is posted too).
  virtual void OnDatabaseRefused(int32_t result) { (void)result; }
  // DB_UPDATE_ACK (accepted, notice 10/0) or DB_UPDATE_NACK (result code;
  // notice 7/x when the code has one, after which Resend() may be offered).
  virtual void OnUpdateAnswer(bool accepted, int32_t result) {
    (void)accepted;
    (void)result;
  }
  // DB_INIT_ACK / DB_INIT_NACK.
  virtual void OnResetAnswer(bool accepted, int32_t result) {
    (void)accepted;
    (void)result;
  }
  // SEND_TEST_MAIL_ACK / SEND_TEST_MAIL_NACK.
  virtual void OnTestMailAnswer(bool accepted, int32_t result) {
    (void)accepted;
    (void)result;
  }
  // DB_INIT_REQ went out while a setup window was open: close it (Cancel).
  virtual void OnCloseSetupWindow() {}
  // A SYS_ETC_INFO or SYS_ETC_INFO_EX arrived (valid or not).
  virtual void OnSystemTables() {}
};

// The notice of a refusal: `code` is DB48_INFO_NACK, DB_UPDATE_NACK,
// DB_INIT_NACK or SEND_TEST_MAIL_NACK; false when the result has no notice.
bool SetupNackNotice(uint16_t code, int32_t result, Notice& out);

// CRC-32 of zlib (reflected 0xEDB88320, initial and final XOR 0xFFFFFFFF).
uint32_t SetupCrc(std::span<const uint8_t> bytes);
// The DB_UPDATE_REQ payload: big-endian CRC of the network-order record, then the record.
std::vector<uint8_t> BuildDbUpdatePayload(const SetupDatabase& db);

class SetupExchange {
 public:
  explicit SetupExchange(SetupObserver* observer = nullptr);

  void Attach(DvrSession& session);

  // --- requests (UI thread); false when not connected or the send failed ---
  // DB_INFO_REQ; the reassembly area starts empty for the answer.
  bool RequestDatabase();
  // DB_UPDATE_REQ with the image (always sent in network order). Refused
  // (false) while editing: end the edit first.
  bool SendUpdate();
  // DB_UPDATE_REQ with another record (orvactl setup put).
  bool SendUpdate(const SetupDatabase& db);
  // After a category 7 notice: the same request again with the current image.
  bool Resend() { return SendUpdate(); }
  // DB_INIT_REQ; then, after 50 ms, OnCloseSetupWindow when an edit is open.
  bool RequestFactoryReset();
  // SEND_TEST_MAIL_REQ with the image's bytes 0x0DB8-0x0FBB.
  bool SendTestMail();

  // --- the image ---
  bool HasDatabase() const;
  // A copy (network order unless an edit has it in host order).
  SetupDatabase Database() const;
  // Starts an edit: converts the image to host order and hands it to the
  // caller until EditEnd. nullptr when no database has arrived or an edit is
  // already open.
  SetupDatabase* EditBegin();
  // Ends the edit, converting the image back to network order (after OK and
  // after Cancel alike, so that the image is never left in host order).
  void EditEnd();
  bool Editing() const;
  // Puts a record (e.g. loaded from a file) in place of the image; refused
  // while editing.
  bool ReplaceDatabase(const SetupDatabase& db);

  SystemTables Tables() const;

  // The handlers, public so that tests can drive them.
  bool RecvFn_DbInfoAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_DbInfoNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_DbUpdateAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_DbUpdateNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_DbInitAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_DbInitNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_TestMailAck(DvrSession& session, const MessageHeader& header);
  bool RecvFn_TestMailNack(DvrSession& session, const MessageHeader& header);
  bool RecvFn_SysEtcInfo(DvrSession& session, const MessageHeader& header);
  bool RecvFn_SysEtcInfoEx(DvrSession& session, const MessageHeader& header);

 private:
  void Reject(SetupRejection reason);

  SetupObserver* const m_observer;
  DvrSession* m_session = nullptr;

  // Receive thread only, except the clear request set by RequestDatabase.
  FrameReassembly m_reassembly;
  std::atomic<bool> m_clearRequested{false};

  mutable std::mutex m_lock;  // guards the members below
  SetupDatabase m_image;
  bool m_hasImage = false;
  bool m_editing = false;
  SystemTables m_tables;
};

}  // namespace orva

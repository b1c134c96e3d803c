#include "orva/setup/setup_exchange.h"

#include <zlib.h>

#include <algorithm>
#include <thread>

#include "orva/link/catalogue.h"
#include "orva/link/trace.h"

namespace orva {
namespace {

constexpr Notice kNoticeSetupDamaged{9, 0};
constexpr Notice kNoticeSetupTaken{10, 0};

// Result code -> notice of DB48_INFO_NACK, DB_UPDATE_NACK and DB_INIT_NACK.
struct NackRow {
  int32_t result;
  Notice notice;
};
constexpr NackRow kInfoNack[] = {{1, {6, 0}}, {2, {6, 1}}, {83, {4, 0}}, {86, {6, 3}}};
constexpr NackRow kUpdateNack[] = {{1, {7, 0}}, {81, {7, 1}}, {51, {7, 2}}, {97, {7, 3}}};
constexpr NackRow kInitNack[] = {{1, {6, 0}}, {2, {6, 1}}, {97, {6, 7}}, {98, {6, 6}}};
constexpr NackRow kTestMailNack[] = {{1, {6, 0}}};

template <size_t N>
bool NoticeFor(const NackRow (&rows)[N], int32_t result, Notice& out) {
  for (const NackRow& row : rows)
    if (row.result == result) {
      out = row.notice;
      return true;
    }
  return false;
}

}  // namespace

bool SetupNackNotice(uint16_t code, int32_t result, Notice& out) {
  switch (code) {
    case msg::DB48_INFO_NACK: return NoticeFor(kInfoNack, result, out);
    case msg::DB_UPDATE_NACK: return NoticeFor(kUpdateNack, result, out);
    case msg::DB_INIT_NACK: return NoticeFor(kInitNack, result, out);
    case msg::SEND_TEST_MAIL_NACK: return NoticeFor(kTestMailNack, result, out);
    default: return false;
  }
}

uint32_t SetupCrc(std::span<const uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths as uInt; feed large spans in pieces.
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t chunk = std::min<size_t>(bytes.size() - done, 1u << 30);
    crc = crc32(crc, bytes.data() + done, static_cast<uInt>(chunk));
    done += chunk;
  }
  return static_cast<uint32_t>(crc);
}

std::vector<uint8_t> BuildDbUpdatePayload(const SetupDatabase& db) {
  std::vector<uint8_t> payload(kDbUpdateSize, 0);
  const auto record = db.NetworkBytes();
  std::copy(record.begin(), record.end(), payload.begin() + kSetupCrcSize);
  StoreBE32(payload.data(), SetupCrc(record));
  return payload;
}

SetupExchange::SetupExchange(SetupObserver* observer) : m_observer(observer) {}

void SetupExchange::Attach(DvrSession& session) {
  m_session = &session;
  auto bind = [this](auto fn) { return BindHandler(this, fn); };
  session.SetHandler(msg::DB_INFO_ACK, bind(&SetupExchange::RecvFn_DbInfoAck));
  session.SetHandler(msg::DB48_INFO_NACK, bind(&SetupExchange::RecvFn_DbInfoNack));
  session.SetHandler(msg::DB_UPDATE_ACK, bind(&SetupExchange::RecvFn_DbUpdateAck));
  session.SetHandler(msg::DB_UPDATE_NACK, bind(&SetupExchange::RecvFn_DbUpdateNack));
  session.SetHandler(msg::DB_INIT_ACK, bind(&SetupExchange::RecvFn_DbInitAck));
  session.SetHandler(msg::DB_INIT_NACK, bind(&SetupExchange::RecvFn_DbInitNack));
  session.SetHandler(msg::SEND_TEST_MAIL_ACK, bind(&SetupExchange::RecvFn_TestMailAck));
  session.SetHandler(msg::SEND_TEST_MAIL_NACK, bind(&SetupExchange::RecvFn_TestMailNack));
  session.SetHandler(msg::SYS_ETC_INFO, bind(&SetupExchange::RecvFn_SysEtcInfo));
  session.SetHandler(msg::SYS_ETC_INFO_EX, bind(&SetupExchange::RecvFn_SysEtcInfoEx));
}

// ---------------------------------------------------------------- requests

bool SetupExchange::RequestDatabase() {
  if (!m_session || !m_session->Connected()) return false;
  // The area belongs to the receive thread; it starts over at the next fragment.
  m_clearRequested = true;
  Trace("Send...DB_INFO_REQ...\n");
  return m_session->Send(msg::DB_INFO_REQ);
}

bool SetupExchange::SendUpdate() {
  SetupDatabase image;
  {
    std::lock_guard lock(m_lock);
    if (!m_hasImage || m_editing) return false;
    image = m_image;
  }
  return SendUpdate(image);
}

bool SetupExchange::SendUpdate(const SetupDatabase& db) {
  if (!m_session || !m_session->Connected()) return false;
  const auto payload = BuildDbUpdatePayload(db);
  Trace("Send...DB_UPDATE_REQ...\n");
  return m_session->Send(msg::DB_UPDATE_REQ, payload);
}

bool SetupExchange::RequestFactoryReset() {
  if (!m_session || !m_session->Connected()) return false;
  Trace("Send... DB_INIT_REQ...\n");
  const bool sent = m_session->Send(msg::DB_INIT_REQ);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (Editing() && m_observer) m_observer->OnCloseSetupWindow();
  return sent;
}

bool SetupExchange::SendTestMail() {
  if (!m_session || !m_session->Connected()) return false;
  std::vector<uint8_t> payload;
  {
    std::lock_guard lock(m_lock);
    // The mail bytes hold no multi-byte numbers: the order of the image does not matter.
    const auto mail = m_image.TestMailBytes();
    payload.assign(mail.begin(), mail.end());
  }
  Trace("Send... SEND_TEST_MAIL_REQ...\n");
  return m_session->Send(msg::SEND_TEST_MAIL_REQ, payload);
}

// ---------------------------------------------------------------- the image

bool SetupExchange::HasDatabase() const {
  std::lock_guard lock(m_lock);
  return m_hasImage;
}

SetupDatabase SetupExchange::Database() const {
  std::lock_guard lock(m_lock);
  return m_image;
}

SetupDatabase* SetupExchange::EditBegin() {
  std::lock_guard lock(m_lock);
  if (!m_hasImage || m_editing) return nullptr;
  m_editing = true;
  m_image.ToHostOrder();
  return &m_image;
}

void SetupExchange::EditEnd() {
  std::lock_guard lock(m_lock);
  if (!m_editing) return;
  m_image.ToNetworkOrder();
  m_editing = false;
}

bool SetupExchange::Editing() const {
  std::lock_guard lock(m_lock);
  return m_editing;
}

bool SetupExchange::ReplaceDatabase(const SetupDatabase& db) {
  std::lock_guard lock(m_lock);
  if (m_editing) return false;
  m_image = db;
  m_image.ToNetworkOrder();
  m_hasImage = true;
  return true;
}

SystemTables SetupExchange::Tables() const {
  std::lock_guard lock(m_lock);
  return m_tables;
}

// ---------------------------------------------------------------- handlers

void SetupExchange::Reject(SetupRejection reason) {
  if (m_observer) m_observer->OnDatabaseRejected(reason);
}

bool SetupExchange::RecvFn_DbInfoAck(DvrSession& session, const MessageHeader& header) {
  if (m_clearRequested.exchange(false)) m_reassembly.Reset();
  switch (m_reassembly.ReadFragment(session.ReadFd(), header, session.RecvLimit())) {
    case FrameReassembly::Result::kReadFailed:
      return false;
    case FrameReassembly::Result::kPartial:
      return true;
    case FrameReassembly::Result::kDropped:
      Trace("RecvFn_DBInfoAck... fragments overrun the reassembly area, dropped\n");
      Reject(SetupRejection::kOverrun);
      return true;
    case FrameReassembly::Result::kComplete:
      break;
  }
  Trace("Recv...DB_INFO_ACK...\n");
  const auto block = m_reassembly.Block();
  if (block.size() < kDbUpdateSize) {
    // A shorter answer would leave part of the image from an older record.
    Trace("RecvFn_DBInfoAck... size : %zu, need %zu\n", block.size(), kDbUpdateSize);
    Reject(SetupRejection::kTooShort);
    return true;
  }
  const uint32_t sent = LoadBE32(block.data());
  const uint32_t computed = SetupCrc(block.subspan(kSetupCrcSize));
  if (sent != computed) {
    Trace("RecvFn_DBInfoAck... CRC mismatch : %08X / %08X\n", sent, computed);
    session.PostNotice(kNoticeSetupDamaged);
    Reject(SetupRejection::kCrcMismatch);
    return true;
  }
  bool editing = false;
  {
    std::lock_guard lock(m_lock);
    editing = m_editing;
    if (editing) {
      Trace("RecvFn_DBInfoAck... setup window open, database dropped\n");
    } else {
      std::string error;
      SetupDatabase::FromBytes(block.subspan(kSetupCrcSize, kSetupDatabaseSize), m_image, error);
      m_hasImage = true;
    }
  }
  if (editing) {
    Reject(SetupRejection::kWhileEditing);
  } else if (m_observer) {
    m_observer->OnDatabaseReady();
  }
  return true;
}

bool SetupExchange::RecvFn_DbInfoNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  Notice notice;
  if (SetupNackNotice(msg::DB48_INFO_NACK, result, notice)) {
    Trace("Recv...DB48_INFO_NACK... %d\n", result);
    session.PostNotice(notice);
  } else {
    Trace("RecvFn_DbInfoNack... %d\n", result);
  }
  if (m_observer) m_observer->OnDatabaseRefused(result);
  return true;
}

bool SetupExchange::RecvFn_DbUpdateAck(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...DB_UPDATE_ACK...\n");
  // Expected empty; whatever the header announces is read past.
  if (!session.Discard(header)) return false;
  session.PostNotice(kNoticeSetupTaken);
  if (m_observer) m_observer->OnUpdateAnswer(true, 0);
  return true;
}

bool SetupExchange::RecvFn_DbUpdateNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  Notice notice;
  if (SetupNackNotice(msg::DB_UPDATE_NACK, result, notice)) {
    Trace("Recv...DB_UPDATE_NACK... %d\n", result);
    session.PostNotice(notice);
  } else {
    Trace("RecvFn_DBUpdateNack... %d\n", result);
  }
  if (m_observer) m_observer->OnUpdateAnswer(false, result);
  return true;
}

bool SetupExchange::RecvFn_DbInitAck(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...DB_INIT_ACK...\n");
  if (!session.Discard(header)) return false;
  if (m_observer) m_observer->OnResetAnswer(true, 0);
  return true;
}

bool SetupExchange::RecvFn_DbInitNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  Notice notice;
  if (SetupNackNotice(msg::DB_INIT_NACK, result, notice)) {
    Trace("Recv...DB_INIT_NACK... %d\n", result);
    session.PostNotice(notice);
  } else {
    Trace("RecvFn_DBInitNack... %d\n", result);
  }
  if (m_observer) m_observer->OnResetAnswer(false, result);
  return true;
}

bool SetupExchange::RecvFn_TestMailAck(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...SEND_TEST_MAIL_ACK...\n");
  if (!session.Discard(header)) return false;
  if (m_observer) m_observer->OnTestMailAnswer(true, 0);
  return true;
}

bool SetupExchange::RecvFn_TestMailNack(DvrSession& session, const MessageHeader& header) {
  const int32_t result = session.ReadResultCode(header);
  if (result == kResultReadFailed) return false;
  Notice notice;
  if (SetupNackNotice(msg::SEND_TEST_MAIL_NACK, result, notice)) {
    Trace("Recv...SEND_TEST_MAIL_NACK... %d\n", result);
    session.PostNotice(notice);
  } else {
    Trace("RecvFn_Send48TestMailNack... %d\n", result);
  }
  if (m_observer) m_observer->OnTestMailAnswer(false, result);
  return true;
}

bool SetupExchange::RecvFn_SysEtcInfo(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...SYS_ETC_INFO...\n");
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;
  {
    std::lock_guard lock(m_lock);
    m_tables.info.fill(0);
    if (payload.size() == kSysEtcInfoSize)
      std::copy(payload.begin(), payload.end(), m_tables.info.begin());
    else
      Trace("SysEtcInfo size : %d, Payload size : %d\n", static_cast<int>(kSysEtcInfoSize), header.length);
  }
  if (m_observer) m_observer->OnSystemTables();
  return true;
}

bool SetupExchange::RecvFn_SysEtcInfoEx(DvrSession& session, const MessageHeader& header) {
  Trace("Recv...SYS_ETC_INFO_EX...\n");
  std::vector<uint8_t> payload;
  if (!session.ReadPayload(header, payload)) return false;
  {
    std::lock_guard lock(m_lock);
    m_tables.infoEx.fill(0);
    if (payload.size() == kSysEtcInfoExSize) {
      std::copy(payload.begin(), payload.end(), m_tables.infoEx.begin());
      m_tables.exArrived = true;
    } else {
      // A zeroed record must not stand in for the short table's names.
      m_tables.exArrived = false;
      Trace("SysEtcInfoEx size : %d, Payload size : %d\n", static_cast<int>(kSysEtcInfoExSize), header.length);
    }
  }
  if (m_observer) m_observer->OnSystemTables();
  return true;
}

}  // namespace orva

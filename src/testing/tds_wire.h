// Test support: the bytes of TDS 7.x (SQL Server's wire protocol) that the scripted test
// server needs: reading the client's pre-login, LOGIN7, SQL batch and RPC messages, and
// writing the tokens of the answers (login acknowledgement, environment changes, result
// sets, row counts, errors and messages, output parameters).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/value.h"

namespace testing_support::tds {

// Packet types.
inline constexpr uint8_t kSqlBatch = 0x01, kRpc = 0x03, kTabularResult = 0x04, kAttention = 0x06,
                         kTransactionManager = 0x0E, kLogin7 = 0x10, kPreLogin = 0x12;
// Pre-login ENCRYPTION option values.
inline constexpr uint8_t kEncryptOff = 0x00, kEncryptOn = 0x01, kEncryptNotSupported = 0x02,
                         kEncryptRequired = 0x03;

// A little-endian reader over one message; reading past the end throws std::out_of_range.
class Reader {
 public:
  explicit Reader(const std::string& data, size_t pos = 0) : data_(data), pos_(pos) {}
  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  uint64_t U64();
  std::string Bytes(size_t n);
  std::string Utf16(size_t chars);  // as UTF-8
  bool AtEnd() const { return pos_ >= data_.size(); }
  size_t pos() const { return pos_; }
  void Skip(size_t n) { Bytes(n); }

 private:
  const std::string& data_;
  size_t pos_;
};

// A little-endian writer of tokens.
class Writer {
 public:
  void U8(uint8_t v) { out_ += static_cast<char>(v); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void U64(uint64_t v);
  void Bytes(const std::string& b) { out_ += b; }
  void BVarChar(const std::string& utf8);   // 1-byte length in characters, UTF-16
  void UsVarChar(const std::string& utf8);  // 2-byte length in characters, UTF-16
  std::string& str() { return out_; }

 private:
  std::string out_;
};

std::string Utf16Bytes(const std::string& utf8);

// What the client said in its pre-login message.
struct PreLogin {
  uint8_t encryption = kEncryptOff;
  std::string instance;
};
PreLogin ReadPreLogin(const std::string& message);
// The server's pre-login answer: SQL Server 16, the given encryption, no MARS.
std::string PreLoginAnswer(uint8_t encryption);

// The fields of a LOGIN7 message, the password decoded.
struct Login {
  uint32_t tds_version = 0;
  uint32_t packet_size = 0;
  std::string host_name, user_name, password, app_name, server_name, library_name, language, database;
  bool integrated_security = false;
};
Login ReadLogin7(const std::string& message);
// Environment changes, the login acknowledgement and the final DONE of a good login.
std::string LoginAnswer(const Login& login);

// A column of a result set or the type of a parameter, as TDS describes it.
enum class ColumnKind { kInt, kFloat, kMoney, kDecimal, kBit, kDateTime, kNVarChar, kNVarCharMax };
struct Column {
  std::string name;
  ColumnKind kind = ColumnKind::kInt;
  int length = 50;  // nvarchar characters
  int precision = 18, scale = 4;  // decimal
};

void WriteColumnMetadata(Writer& w, const std::vector<Column>& columns);
void WriteRow(Writer& w, const std::vector<Column>& columns, const std::vector<db::Value>& row);

// DONE status bits.
inline constexpr uint16_t kDoneFinal = 0x00, kDoneMore = 0x01, kDoneError = 0x02, kDoneCount = 0x10,
                          kDoneAttention = 0x20;
// Token types of the three DONE tokens.
inline constexpr uint8_t kDone = 0xFD, kDoneProc = 0xFE, kDoneInProc = 0xFF;
void WriteDone(Writer& w, uint8_t token, uint16_t status, uint16_t command, uint64_t rows);
// ERROR (class 11 and up) or INFO (class 10 and below).
void WriteMessage(Writer& w, int number, int severity, const std::string& text, int state = 1);
void WriteReturnStatus(Writer& w, int32_t status);
void WriteReturnValue(Writer& w, uint16_t ordinal, const std::string& name, const Column& type,
                      const db::Value& value);

// A parameter of an RPC, as it arrived.
struct Param {
  std::string name;
  bool output = false;
  std::string type;        // "int", "nvarchar(4000)", "nvarchar(max)", "varchar(8000)", "datetime", ...
  uint8_t type_id = 0;     // the TDS type byte
  uint32_t max_length = 0; // bytes, as declared in TYPE_INFO (0xFFFF for max)
  db::Value value;
};
// One RPC of an RPC message: a procedure by name, or a system procedure by number
// (sp_executesql, sp_prepare, ... named as SQL Server names them).
struct RpcCall {
  std::string procedure;
  std::vector<Param> params;
};
std::vector<RpcCall> ReadRpc(const std::string& message);
// A transaction manager request: "begin", "commit", "rollback", "save" or "other", and the
// answer that tells the client the transaction began or ended.
std::string ReadTransactionRequest(const std::string& message);
std::string TransactionAnswer(const std::string& request);
std::string ReadSqlBatch(const std::string& message);

// A message cut into packets of at most `packet_size` bytes.
std::string Packets(uint8_t type, const std::string& payload, size_t packet_size = 4096);

}  // namespace testing_support::tds

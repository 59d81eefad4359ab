#include "testing/tds_wire.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "util/text.h"

namespace testing_support::tds {
namespace {

// Latin1_General_CI_AS: LCID 0x0409, case-insensitive, accent-sensitive, sort id 52.
const std::string kCollation("\x09\x04\xD0\x00\x34", 5);

// SQL Server's datetime counts days from 01/01/1900; the platform's dates from 30/12/1899.
constexpr int kDays1900 = 2;
// The number of days from 01/01/0001 to 30/12/1899, for date and datetime2.
constexpr int64_t kDays0001 = 693593;

void Put(std::string& out, const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }

uint64_t LittleEndian(const std::string& b) {
  uint64_t v = 0;
  for (size_t i = b.size(); i-- > 0;) v = (v << 8) | static_cast<unsigned char>(b[i]);
  return v;
}

db::Value DateTimeValue(int64_t days_from_serial0, uint64_t ms_of_day) {
  double frac = static_cast<double>(ms_of_day) / 86400000.0;
  double whole = static_cast<double>(days_from_serial0);
  return db::Value(db::Date{whole < 0 ? whole - frac : whole + frac});
}

std::string SizeText(uint32_t bytes, bool wide) {
  if (bytes == 0xFFFF) return "max";
  return std::to_string(wide ? bytes / 2 : bytes);
}

const char* ProcedureName(uint16_t id) {
  static const char* const kNames[] = {"",
                                       "sp_cursor",
                                       "sp_cursoropen",
                                       "sp_cursorprepare",
                                       "sp_cursorexecute",
                                       "sp_cursorprepexec",
                                       "sp_cursorunprepare",
                                       "sp_cursorfetch",
                                       "sp_cursoroption",
                                       "sp_cursorclose",
                                       "sp_executesql",
                                       "sp_prepare",
                                       "sp_execute",
                                       "sp_prepexec",
                                       "sp_prepexecrpc",
                                       "sp_unprepare"};
  return id < std::size(kNames) ? kNames[id] : "sp_unknown";
}

// The TYPE_INFO of a parameter: sets type, type_id and max_length; returns how the value
// is framed: 0 fixed of `fixed` bytes, 1 one-byte length, 2 two-byte length, 4 four-byte
// length, 8 partially length-prefixed (the max types).
int ReadTypeInfo(Reader& r, Param& p, size_t* fixed) {
  uint8_t t = p.type_id = r.U8();
  auto fixed_type = [&](const char* name, size_t n) {
    p.type = name, p.max_length = static_cast<uint32_t>(*fixed = n);
    return 0;
  };
  switch (t) {
    case 0x1F: return fixed_type("null", 0);
    case 0x30: return fixed_type("tinyint", 1);
    case 0x32: return fixed_type("bit", 1);
    case 0x34: return fixed_type("smallint", 2);
    case 0x38: return fixed_type("int", 4);
    case 0x7F: return fixed_type("bigint", 8);
    case 0x3B: return fixed_type("real", 4);
    case 0x3E: return fixed_type("float", 8);
    case 0x3A: return fixed_type("smalldatetime", 4);
    case 0x3D: return fixed_type("datetime", 8);
    case 0x7A: return fixed_type("smallmoney", 4);
    case 0x3C: return fixed_type("money", 8);
    case 0x26: {
      p.max_length = r.U8();
      static const char* const kInts[] = {"", "tinyint", "smallint", "", "int", "", "", "", "bigint"};
      p.type = p.max_length <= 8 ? kInts[p.max_length] : "int";
      return 1;
    }
    case 0x68: p.max_length = r.U8(), p.type = "bit"; return 1;
    case 0x6D: p.max_length = r.U8(), p.type = p.max_length == 4 ? "real" : "float"; return 1;
    case 0x6E: p.max_length = r.U8(), p.type = p.max_length == 4 ? "smallmoney" : "money"; return 1;
    case 0x6F: p.max_length = r.U8(), p.type = p.max_length == 4 ? "smalldatetime" : "datetime"; return 1;
    case 0x24: p.max_length = r.U8(), p.type = "uniqueidentifier"; return 1;
    case 0x6A:
    case 0x6C: {
      p.max_length = r.U8();
      int precision = r.U8(), scale = r.U8();
      p.type = std::string(t == 0x6A ? "decimal(" : "numeric(") + std::to_string(precision) + "," +
               std::to_string(scale) + ")";
      return 1;
    }
    case 0x28: p.type = "date"; return 1;
    case 0x29: p.type = "time(" + std::to_string(r.U8()) + ")"; return 1;
    case 0x2A: p.type = "datetime2(" + std::to_string(r.U8()) + ")"; return 1;
    case 0x2B: p.type = "datetimeoffset(" + std::to_string(r.U8()) + ")"; return 1;
    case 0xE7:
    case 0xEF:
    case 0xA7:
    case 0xAF: {
      p.max_length = r.U16();
      r.Skip(5);  // collation
      bool wide = t == 0xE7 || t == 0xEF;
      const char* base = t == 0xE7 ? "nvarchar(" : t == 0xEF ? "nchar(" : t == 0xA7 ? "varchar(" : "char(";
      p.type = base + SizeText(p.max_length, wide) + ")";
      return p.max_length == 0xFFFF ? 8 : 2;
    }
    case 0xA5:
    case 0xAD:
      p.max_length = r.U16();
      p.type = std::string(t == 0xA5 ? "varbinary(" : "binary(") + SizeText(p.max_length, false) + ")";
      return p.max_length == 0xFFFF ? 8 : 2;
    case 0x63:
    case 0x23:
      p.max_length = r.U32();
      r.Skip(5);
      p.type = t == 0x63 ? "ntext" : "text";
      return 4;
    case 0x22: p.max_length = r.U32(), p.type = "image"; return 4;
  }
  throw std::runtime_error("TDS test server: parameter type 0x" + std::to_string(t) + " is not known");
}

db::Value Decode(const Param& p, const std::string& b) {
  uint8_t t = p.type_id;
  bool integer = t == 0x26 || t == 0x30 || t == 0x34 || t == 0x38 || t == 0x7F;
  if (integer) {
    uint64_t u = LittleEndian(b);
    if (b.size() == 8) return db::Value(static_cast<int64_t>(u));
    if (b.size() == 2) return db::Value(static_cast<int>(static_cast<int16_t>(u)));
    if (b.size() == 1) return db::Value(static_cast<int>(u));
    return db::Value(static_cast<int>(static_cast<int32_t>(u)));
  }
  if (t == 0x32 || t == 0x68) return db::Value(b[0] != 0);
  if (t == 0x3B || t == 0x3E || t == 0x6D) {
    if (b.size() == 4) {
      float f;
      std::memcpy(&f, b.data(), 4);
      return db::Value(static_cast<double>(f));
    }
    double d;
    std::memcpy(&d, b.data(), 8);
    return db::Value(d);
  }
  if (t == 0x3C || t == 0x7A || t == 0x6E) {
    int64_t m = b.size() == 4 ? static_cast<int32_t>(LittleEndian(b))
                              : static_cast<int64_t>((LittleEndian(b.substr(0, 4)) << 32) | LittleEndian(b.substr(4, 4)));
    return db::Value(static_cast<double>(m) / 10000.0);
  }
  if (t == 0x3D || (t == 0x6F && b.size() == 8)) {
    int32_t days = static_cast<int32_t>(LittleEndian(b.substr(0, 4)));
    uint64_t ticks = LittleEndian(b.substr(4, 4));
    return DateTimeValue(days + kDays1900, (ticks * 10 + 1) / 3);
  }
  if (t == 0x3A || t == 0x6F) {
    return DateTimeValue(LittleEndian(b.substr(0, 2)) + kDays1900, LittleEndian(b.substr(2, 2)) * 60000);
  }
  if (t == 0x6A || t == 0x6C) {
    int scale = std::stoi(p.type.substr(p.type.find(',') + 1));
    long double v = 0;
    for (size_t i = b.size(); i-- > 1;) v = v * 256 + static_cast<unsigned char>(b[i]);
    v /= std::pow(10.0L, scale);
    return db::Value(static_cast<double>(b[0] == 1 ? v : -v));
  }
  if (t == 0x28 || t == 0x2A) {
    size_t time_bytes = b.size() - 3;
    int64_t days = static_cast<int64_t>(LittleEndian(b.substr(time_bytes, 3))) - kDays0001;
    uint64_t ms = 0;
    if (t == 0x2A) {
      int scale = std::stoi(p.type.substr(10));
      ms = static_cast<uint64_t>(std::llround(LittleEndian(b.substr(0, time_bytes)) / std::pow(10.0, scale - 3)));
    }
    return DateTimeValue(days, ms);
  }
  if (t == 0xE7 || t == 0xEF || t == 0x63) {
    std::u16string w(b.size() / 2, u'\0');
    std::memcpy(w.data(), b.data(), w.size() * 2);
    return db::Value(util::Utf16ToUtf8(w));
  }
  return db::Value(b);  // varchar, char, text and binary types: the bytes as they came
}

db::Value ReadValue(Reader& r, const Param& p, int framing, size_t fixed) {
  switch (framing) {
    case 0: return p.type_id == 0x1F ? db::Value() : Decode(p, r.Bytes(fixed));
    case 1: {
      uint8_t n = r.U8();
      return n == 0 ? db::Value() : Decode(p, r.Bytes(n));
    }
    case 2: {
      uint16_t n = r.U16();
      return n == 0xFFFF ? db::Value() : Decode(p, r.Bytes(n));
    }
    case 4: {
      uint32_t n = r.U32();
      return n == 0xFFFFFFFF ? db::Value() : Decode(p, r.Bytes(n));
    }
  }
  uint64_t total = r.U64();
  if (total == ~0ull) return db::Value();
  std::string all;
  for (uint32_t chunk; (chunk = r.U32()) != 0;) all += r.Bytes(chunk);
  return Decode(p, all);
}

void WriteTypeInfo(Writer& w, const Column& c) {
  switch (c.kind) {
    case ColumnKind::kInt: w.U8(0x26), w.U8(4); break;
    case ColumnKind::kFloat: w.U8(0x6D), w.U8(8); break;
    case ColumnKind::kMoney: w.U8(0x6E), w.U8(8); break;
    case ColumnKind::kDecimal: {
      int p = c.precision;
      w.U8(0x6A), w.U8(p <= 9 ? 5 : p <= 19 ? 9 : p <= 28 ? 13 : 17), w.U8(static_cast<uint8_t>(p));
      w.U8(static_cast<uint8_t>(c.scale));
      break;
    }
    case ColumnKind::kBit: w.U8(0x68), w.U8(1); break;
    case ColumnKind::kDateTime: w.U8(0x6F), w.U8(8); break;
    case ColumnKind::kNVarChar: w.U8(0xE7), w.U16(static_cast<uint16_t>(c.length * 2)), w.Bytes(kCollation); break;
    case ColumnKind::kNVarCharMax: w.U8(0xE7), w.U16(0xFFFF), w.Bytes(kCollation); break;
  }
}

void WriteValue(Writer& w, const Column& c, const db::Value& v) {
  if (v.IsNull()) {
    if (c.kind == ColumnKind::kNVarChar) return w.U16(0xFFFF);
    if (c.kind == ColumnKind::kNVarCharMax) return w.U64(~0ull);
    return w.U8(0);
  }
  switch (c.kind) {
    case ColumnKind::kInt: w.U8(4), w.U32(static_cast<uint32_t>(db::CLng(v))); break;
    case ColumnKind::kFloat: {
      double d = db::CDbl(v);
      w.U8(8), Put(w.str(), &d, 8);
      break;
    }
    case ColumnKind::kMoney: {
      uint64_t m = static_cast<uint64_t>(std::llround(db::CDbl(v) * 10000.0));
      w.U8(8), w.U32(static_cast<uint32_t>(m >> 32)), w.U32(static_cast<uint32_t>(m));
      break;
    }
    case ColumnKind::kDecimal: {
      int p = c.precision;
      uint8_t length = p <= 9 ? 5 : p <= 19 ? 9 : p <= 28 ? 13 : 17;
      double d = db::CDbl(v);
      uint64_t magnitude = static_cast<uint64_t>(std::llround(std::fabs(d) * std::pow(10.0, c.scale)));
      w.U8(length), w.U8(d < 0 ? 0 : 1);
      for (int i = 0; i < length - 1; ++i) w.U8(i < 8 ? static_cast<uint8_t>(magnitude >> (8 * i)) : 0);
      break;
    }
    case ColumnKind::kBit: w.U8(1), w.U8(db::CBool(v) ? 1 : 0); break;
    case ColumnKind::kDateTime: {
      db::Date d = db::CDate(v);
      db::Date::Parts parts = d.ToParts();
      int64_t ms = ((parts.hour * 60 + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond;
      int32_t days = static_cast<int32_t>(std::trunc(d.serial)) - kDays1900;
      w.U8(8), w.U32(static_cast<uint32_t>(days)), w.U32(static_cast<uint32_t>(std::llround(ms * 0.3)));
      break;
    }
    case ColumnKind::kNVarChar: {
      std::string b = Utf16Bytes(db::CStr(v));
      w.U16(static_cast<uint16_t>(b.size())), w.Bytes(b);
      break;
    }
    case ColumnKind::kNVarCharMax: {
      std::string b = Utf16Bytes(db::CStr(v));
      w.U64(b.size());
      // Chunks of at most 8000 bytes, as the server sends them.
      for (size_t i = 0; i < b.size(); i += 8000) {
        std::string chunk = b.substr(i, 8000);
        w.U32(static_cast<uint32_t>(chunk.size())), w.Bytes(chunk);
      }
      w.U32(0);
      break;
    }
  }
}

}  // namespace

uint8_t Reader::U8() { return static_cast<uint8_t>(Bytes(1)[0]); }
uint16_t Reader::U16() { return static_cast<uint16_t>(LittleEndian(Bytes(2))); }
uint32_t Reader::U32() { return static_cast<uint32_t>(LittleEndian(Bytes(4))); }
uint64_t Reader::U64() { return LittleEndian(Bytes(8)); }

std::string Reader::Bytes(size_t n) {
  if (pos_ + n > data_.size()) throw std::out_of_range("TDS test server: message shorter than its fields");
  std::string b = data_.substr(pos_, n);
  pos_ += n;
  return b;
}

std::string Reader::Utf16(size_t chars) {
  std::string b = Bytes(chars * 2);
  std::u16string w(chars, u'\0');
  std::memcpy(w.data(), b.data(), chars * 2);
  return util::Utf16ToUtf8(w);
}

void Writer::U16(uint16_t v) { Put(out_, &v, 2); }
void Writer::U32(uint32_t v) { Put(out_, &v, 4); }
void Writer::U64(uint64_t v) { Put(out_, &v, 8); }

void Writer::BVarChar(const std::string& utf8) {
  std::string b = Utf16Bytes(utf8);
  U8(static_cast<uint8_t>(b.size() / 2)), Bytes(b);
}

void Writer::UsVarChar(const std::string& utf8) {
  std::string b = Utf16Bytes(utf8);
  U16(static_cast<uint16_t>(b.size() / 2)), Bytes(b);
}

std::string Utf16Bytes(const std::string& utf8) {
  std::u16string w = util::Utf8ToUtf16(utf8);
  return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
}

PreLogin ReadPreLogin(const std::string& message) {
  PreLogin out;
  Reader r(message);
  for (uint8_t token; (token = r.U8()) != 0xFF;) {
    // Offsets and lengths of the option table are big-endian.
    std::string b = r.Bytes(4);
    size_t offset = (static_cast<unsigned char>(b[0]) << 8) | static_cast<unsigned char>(b[1]);
    size_t length = (static_cast<unsigned char>(b[2]) << 8) | static_cast<unsigned char>(b[3]);
    if (offset + length > message.size()) break;
    if (token == 0x01 && length >= 1) out.encryption = static_cast<uint8_t>(message[offset]);
    if (token == 0x02 && length >= 1) out.instance = message.substr(offset, message.find('\0', offset) - offset);
  }
  return out;
}

std::string PreLoginAnswer(uint8_t encryption) {
  const std::string version("\x10\x00\x07\xD0\x00\x00", 6);  // 16.0.2000
  const std::string values[] = {version, std::string(1, static_cast<char>(encryption)), std::string(1, '\0'),
                                std::string(1, '\0')};
  const uint8_t tokens[] = {0x00, 0x01, 0x02, 0x04};  // VERSION, ENCRYPTION, INSTOPT, MARS
  std::string head, data;
  size_t offset = 4 * 5 + 1;
  for (int i = 0; i < 4; ++i) {
    size_t at = offset + data.size(), n = values[i].size();
    head += static_cast<char>(tokens[i]);
    head += static_cast<char>(at >> 8), head += static_cast<char>(at & 0xFF);
    head += static_cast<char>(n >> 8), head += static_cast<char>(n & 0xFF);
    data += values[i];
  }
  return head + '\xFF' + data;
}

Login ReadLogin7(const std::string& message) {
  Login l;
  Reader r(message);
  r.U32();  // length
  l.tds_version = r.U32();
  l.packet_size = r.U32();
  r.Skip(4 + 4 + 4);  // client program version, process id, connection id
  r.U8();
  uint8_t flags2 = r.U8();
  l.integrated_security = (flags2 & 0x80) != 0;
  r.Skip(1 + 1 + 4 + 4);  // type flags, flags 3, time zone, LCID
  auto field = [&](std::string* out, bool password = false) {
    uint16_t offset = r.U16(), chars = r.U16();
    if (!out || chars == 0) return;
    std::string b = message.substr(offset, chars * 2u);
    if (password) {
      for (char& c : b) {
        uint8_t x = static_cast<uint8_t>(c) ^ 0xA5;
        c = static_cast<char>(((x & 0x0F) << 4) | (x >> 4));
      }
    }
    Reader inner(b);
    *out = inner.Utf16(b.size() / 2);
  };
  field(&l.host_name);
  field(&l.user_name);
  field(&l.password, true);
  field(&l.app_name);
  field(&l.server_name);
  field(nullptr);  // extension
  field(&l.library_name);
  field(&l.language);
  field(&l.database);
  return l;
}

std::string LoginAnswer(const Login& login) {
  Writer w;
  auto env_text = [&](uint8_t type, const std::string& now, const std::string& before) {
    Writer body;
    body.U8(type), body.BVarChar(now), body.BVarChar(before);
    w.U8(0xE3), w.U16(static_cast<uint16_t>(body.str().size())), w.Bytes(body.str());
  };
  env_text(1, login.database.empty() ? "master" : login.database, "master");
  w.U8(0xE3), w.U16(1 + 1 + 5 + 1), w.U8(7), w.U8(5), w.Bytes(kCollation), w.U8(0);
  env_text(2, "us_english", "");
  env_text(4, "4096", "4096");
  Writer ack;
  ack.U8(1);  // T-SQL
  const uint32_t v = 0x74000004;  // TDS 7.4
  ack.U8(static_cast<uint8_t>(v >> 24)), ack.U8(static_cast<uint8_t>(v >> 16)), ack.U8(static_cast<uint8_t>(v >> 8));
  ack.U8(static_cast<uint8_t>(v));
  ack.BVarChar("Microsoft SQL Server");
  ack.U8(16), ack.U8(0), ack.U8(0x07), ack.U8(0xD0);
  w.U8(0xAD), w.U16(static_cast<uint16_t>(ack.str().size())), w.Bytes(ack.str());
  WriteDone(w, kDone, kDoneFinal, 0, 0);
  return w.str();
}

void WriteColumnMetadata(Writer& w, const std::vector<Column>& columns) {
  w.U8(0x81), w.U16(static_cast<uint16_t>(columns.size()));
  for (const Column& c : columns) {
    w.U32(0);       // user type
    w.U16(0x0001);  // nullable
    WriteTypeInfo(w, c);
    w.BVarChar(c.name);
  }
}

void WriteRow(Writer& w, const std::vector<Column>& columns, const std::vector<db::Value>& row) {
  w.U8(0xD1);
  for (size_t i = 0; i < columns.size(); ++i) WriteValue(w, columns[i], i < row.size() ? row[i] : db::Value());
}

void WriteDone(Writer& w, uint8_t token, uint16_t status, uint16_t command, uint64_t rows) {
  w.U8(token), w.U16(status), w.U16(command), w.U64(rows);
}

void WriteMessage(Writer& w, int number, int severity, const std::string& text, int state) {
  Writer body;
  body.U32(static_cast<uint32_t>(number)), body.U8(static_cast<uint8_t>(state)), body.U8(static_cast<uint8_t>(severity));
  body.UsVarChar(text), body.BVarChar("TDSTEST"), body.BVarChar(""), body.U32(1);
  w.U8(severity > 10 ? 0xAA : 0xAB), w.U16(static_cast<uint16_t>(body.str().size())), w.Bytes(body.str());
}

void WriteReturnStatus(Writer& w, int32_t status) { w.U8(0x79), w.U32(static_cast<uint32_t>(status)); }

void WriteReturnValue(Writer& w, uint16_t ordinal, const std::string& name, const Column& type,
                      const db::Value& value) {
  w.U8(0xAC), w.U16(ordinal), w.BVarChar(name), w.U8(0x01), w.U32(0), w.U16(0x0001);
  WriteTypeInfo(w, type);
  WriteValue(w, type, value);
}

std::vector<RpcCall> ReadRpc(const std::string& message) {
  Reader r(message);
  r.Skip(r.U32() - 4);  // ALL_HEADERS (transaction descriptor)
  std::vector<RpcCall> calls;
  while (!r.AtEnd()) {
    RpcCall call;
    uint16_t name_length = r.U16();
    call.procedure = name_length == 0xFFFF ? ProcedureName(r.U16()) : r.Utf16(name_length);
    r.U16();  // option flags
    while (!r.AtEnd()) {
      uint8_t next = static_cast<uint8_t>(message[r.pos()]);
      if (next == 0x80 || next == 0xFF || next == 0xFE) {  // the next RPC of the batch
        r.U8();
        break;
      }
      Param p;
      p.name = r.Utf16(r.U8());
      p.output = (r.U8() & 0x01) != 0;
      size_t fixed = 0;
      int framing = ReadTypeInfo(r, p, &fixed);
      p.value = ReadValue(r, p, framing, fixed);
      call.params.push_back(std::move(p));
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

std::string ReadTransactionRequest(const std::string& message) {
  Reader r(message);
  r.Skip(r.U32() - 4);  // ALL_HEADERS
  switch (r.U16()) {
    case 5: return "begin";
    case 7: return "commit";
    case 8: return "rollback";
    case 9: return "save";
  }
  return "other";
}

std::string TransactionAnswer(const std::string& request) {
  static const std::string kDescriptor("\x01\0\0\0\0\0\0\0", 8);
  Writer w;
  auto env = [&](uint8_t type, const std::string& now, const std::string& before) {
    w.U8(0xE3), w.U16(static_cast<uint16_t>(1 + 1 + now.size() + 1 + before.size())), w.U8(type);
    w.U8(static_cast<uint8_t>(now.size())), w.Bytes(now), w.U8(static_cast<uint8_t>(before.size())), w.Bytes(before);
  };
  if (request == "begin") env(8, kDescriptor, "");
  if (request == "commit") env(9, "", kDescriptor);
  if (request == "rollback") env(10, "", kDescriptor);
  WriteDone(w, kDone, kDoneFinal, 0, 0);
  return w.str();
}

std::string ReadSqlBatch(const std::string& message) {
  Reader r(message);
  uint32_t headers = r.U32();
  r.Skip(headers - 4);
  return r.Utf16((message.size() - headers) / 2);
}

std::string Packets(uint8_t type, const std::string& payload, size_t packet_size) {
  std::string out;
  size_t room = packet_size - 8;
  uint8_t id = 1;
  for (size_t at = 0;; at += room) {
    size_t n = std::min(room, payload.size() - at);
    bool last = at + n >= payload.size();
    size_t length = n + 8;
    out += static_cast<char>(type);
    out += static_cast<char>(last ? 0x01 : 0x00);
    out += static_cast<char>(length >> 8), out += static_cast<char>(length & 0xFF);
    out += std::string(2, '\0');  // SPID
    out += static_cast<char>(id++), out += '\0';
    out += payload.substr(at, n);
    if (last) break;
  }
  return out;
}

}  // namespace testing_support::tds

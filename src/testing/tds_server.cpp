#include "testing/tds_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <stdexcept>

#include "util/text.h"

namespace testing_support {
namespace {

bool ReadAll(int fd, char* p, size_t n) {
  while (n > 0) {
    ssize_t got = recv(fd, p, n, 0);
    if (got <= 0) return false;
    p += got, n -= static_cast<size_t>(got);
  }
  return true;
}

void WriteAll(int fd, const std::string& data) {
  for (size_t at = 0; at < data.size();) {
    ssize_t sent = send(fd, data.data() + at, data.size() - at, MSG_NOSIGNAL);
    if (sent <= 0) return;
    at += static_cast<size_t>(sent);
  }
}

// One whole message (its packets joined); false when the client has gone.
bool ReadMessage(int fd, uint8_t* type, std::string* message) {
  message->clear();
  for (;;) {
    unsigned char header[8];
    if (!ReadAll(fd, reinterpret_cast<char*>(header), 8)) return false;
    size_t length = (header[2] << 8) | header[3];
    if (length < 8) return false;
    std::string body(length - 8, '\0');
    if (!ReadAll(fd, body.data(), body.size())) return false;
    *type = header[0];
    *message += body;
    if (header[1] & 0x01) return true;  // end of message
  }
}

bool Contains(const std::string& text, const std::string& pattern) {
  return !text.empty() && util::ToLower(text).find(util::ToLower(pattern)) != std::string::npos;
}

bool HasError(const TdsReply& reply) {
  for (const TdsMessage& m : reply.messages) {
    if (m.severity > 10) return true;
  }
  return false;
}

void WriteResult(tds::Writer& w, const TdsResultSet& rs, uint8_t done_token, uint16_t status) {
  tds::WriteColumnMetadata(w, rs.columns);
  for (const auto& row : rs.rows) tds::WriteRow(w, rs.columns, row);
  tds::WriteDone(w, done_token, status | tds::kDoneCount, 0xC1, rs.rows.size());
}

void WriteMessages(tds::Writer& w, const TdsReply& reply) {
  for (const TdsMessage& m : reply.messages) tds::WriteMessage(w, m.number, m.severity, m.text);
  for (int64_t n : reply.trigger_counts) {
    tds::WriteDone(w, tds::kDoneInProc, tds::kDoneMore | tds::kDoneCount, 0xC3, static_cast<uint64_t>(n));
  }
}

// The tokens of the answer to a SQL batch.
std::string BatchAnswer(const TdsReply& reply) {
  tds::Writer w;
  WriteMessages(w, reply);
  uint16_t error = HasError(reply) ? tds::kDoneError : 0;
  for (size_t i = 0; i < reply.results.size(); ++i) {
    bool last = i + 1 == reply.results.size() && reply.row_count < 0;
    WriteResult(w, reply.results[i], tds::kDone, last ? error : tds::kDoneMore);
  }
  if (reply.results.empty() || reply.row_count >= 0) {
    uint16_t count = reply.row_count >= 0 ? tds::kDoneCount : 0;
    tds::WriteDone(w, tds::kDone, count | error, 0xC3, reply.row_count >= 0 ? reply.row_count : 0);
  }
  return w.str();
}

tds::Column OutputType(const tds::Param& p) {
  tds::Column c;
  c.name = p.name;
  if (p.type == "float" || p.type == "real") c.kind = tds::ColumnKind::kFloat;
  if (p.type.rfind("nvarchar(", 0) == 0 || p.type.rfind("varchar(", 0) == 0) {
    c.kind = p.max_length == 0xFFFF ? tds::ColumnKind::kNVarCharMax : tds::ColumnKind::kNVarChar;
    c.length = static_cast<int>(p.max_length / 2);
  }
  return c;
}

// The tokens of the answer to one RPC: the statement's counts and results inside the
// procedure, its return status, the output parameters, DONEPROC.
std::string RpcAnswer(const TdsReply& reply, const std::vector<tds::Param>& params, bool more) {
  tds::Writer w;
  WriteMessages(w, reply);
  if (reply.row_count >= 0) {
    tds::WriteDone(w, tds::kDoneInProc, tds::kDoneMore | tds::kDoneCount, 0xC3,
                   static_cast<uint64_t>(reply.row_count));
  }
  for (const TdsResultSet& rs : reply.results) WriteResult(w, rs, tds::kDoneInProc, tds::kDoneMore);
  tds::WriteReturnStatus(w, reply.return_status);
  size_t k = 0;
  for (size_t i = 0; i < params.size(); ++i) {
    if (!params[i].output) continue;
    db::Value v = k < reply.outputs.size() ? reply.outputs[k] : db::Value();
    ++k;
    tds::WriteReturnValue(w, static_cast<uint16_t>(i), params[i].name, OutputType(params[i]), v);
  }
  uint16_t status = (more ? tds::kDoneMore : 0) | (HasError(reply) ? tds::kDoneError : 0);
  tds::WriteDone(w, tds::kDoneProc, status, 0xE0, 0);
  return w.str();
}

// What an RPC stands for: sp_executesql and the prepare procedures carry a statement.
TdsRequest RequestOf(const tds::RpcCall& call, int id, std::map<int32_t, std::string>& handles) {
  TdsRequest r;
  r.connection = id;
  r.rpc = true;
  r.procedure = call.procedure;
  r.params = call.params;
  auto text = [&](size_t i) { return i < call.params.size() && call.params[i].value.IsText() ? call.params[i].value.AsText() : ""; };
  if (call.procedure == "sp_executesql") {
    r.sql = text(0), r.declarations = text(1);
    r.params.erase(r.params.begin(), r.params.begin() + std::min<size_t>(2, r.params.size()));
  } else if (call.procedure == "sp_prepare" || call.procedure == "sp_prepexec") {
    r.declarations = text(1), r.sql = text(2);
    handles[static_cast<int32_t>(handles.size() + 1)] = r.sql;
    r.params.erase(r.params.begin(), r.params.begin() + std::min<size_t>(call.procedure == "sp_prepare" ? 4 : 3,
                                                                         r.params.size()));
  } else if (call.procedure == "sp_execute" && !call.params.empty() && call.params[0].value.type() == db::Type::Long) {
    r.sql = handles[call.params[0].value.AsLong()];
    r.params.erase(r.params.begin());
  }
  return r;
}

}  // namespace

TdsServer::TdsServer(Mode mode) : mode_(mode) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error("TDS test server: no socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;  // any free port
  socklen_t size = sizeof addr;
  if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listen_fd_, 16) != 0 ||
      getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
    close(listen_fd_);
    throw std::runtime_error("TDS test server: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

TdsServer::~TdsServer() {
  stopping_ = true;
  shutdown(listen_fd_, SHUT_RDWR);
  acceptor_.join();
  close(listen_fd_);
  std::lock_guard<std::mutex> lock(mutex_);
  for (int fd : client_fds_) shutdown(fd, SHUT_RDWR);
  for (std::thread& t : workers_) t.join();
  for (int fd : client_fds_) close(fd);
}

std::string TdsServer::OdbcString(const std::string& more) const {
  return "Driver=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(port_) + ";TDS_Version=7.4;ClientCharset=UTF-8;" +
         more;
}

void TdsServer::On(const std::string& pattern, TdsReply reply) {
  On(pattern, Handler([reply](const TdsRequest&) { return reply; }));
}

void TdsServer::On(const std::string& pattern, Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.push_back({pattern, std::move(handler)});
}

std::vector<tds::Login> TdsServer::logins() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return logins_;
}

std::vector<tds::PreLogin> TdsServer::prelogins() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return prelogins_;
}

std::vector<TdsRequest> TdsServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<TdsRequest> TdsServer::RequestsWith(const std::string& pattern) const {
  std::vector<TdsRequest> found;
  for (const TdsRequest& r : requests()) {
    if (Contains(r.sql, pattern) || Contains(r.procedure, pattern)) found.push_back(r);
  }
  return found;
}

TdsReply TdsServer::Find(const TdsRequest& request) const {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = rules_.rbegin(); it != rules_.rend() && !handler; ++it) {
      if (Contains(request.sql, it->pattern) || Contains(request.procedure, it->pattern)) handler = it->handler;
    }
  }
  return handler ? handler(request) : TdsReply{};
}

void TdsServer::Accept() {
  for (int id = 1; !stopping_; ++id) {
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (stopping_) return;
      continue;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++connections_;
    client_fds_.push_back(fd);
    workers_.emplace_back([this, fd, id] { Serve(fd, id); });
  }
}

void TdsServer::Serve(int fd, int id) {
  uint8_t type = 0;
  std::string message;
  bool waiting_attention = false;
  std::map<int32_t, std::string> handles;
  while (ReadMessage(fd, &type, &message)) {
    if (mode_ == Mode::kSilent) continue;
    if (type == tds::kAttention) {
      ++attentions_;
      waiting_attention = false;
      tds::Writer w;
      tds::WriteDone(w, tds::kDone, tds::kDoneAttention, 0, 0);
      WriteAll(fd, tds::Packets(tds::kTabularResult, w.str()));
      continue;
    }
    if (waiting_attention) continue;
    std::string answer;
    try {
      if (type == tds::kPreLogin) {
        std::lock_guard<std::mutex> lock(mutex_);
        prelogins_.push_back(tds::ReadPreLogin(message));
        answer = tds::PreLoginAnswer(tds::kEncryptNotSupported);
      } else if (type == tds::kLogin7) {
        tds::Login login = tds::ReadLogin7(message);
        answer = tds::LoginAnswer(login);
        std::lock_guard<std::mutex> lock(mutex_);
        logins_.push_back(std::move(login));
      } else if (type == tds::kSqlBatch) {
        TdsRequest r;
        r.connection = id;
        r.sql = tds::ReadSqlBatch(message);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(r);
        }
        TdsReply reply = Find(r);
        if (reply.hang) {
          waiting_attention = true;
          continue;
        }
        answer = BatchAnswer(reply);
      } else if (type == tds::kRpc) {
        std::vector<tds::RpcCall> calls = tds::ReadRpc(message);
        for (size_t i = 0; i < calls.size(); ++i) {
          TdsRequest r = RequestOf(calls[i], id, handles);
          {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(r);
          }
          TdsReply reply = Find(r);
          if (reply.hang) {
            waiting_attention = true;
            break;
          }
          if (calls[i].procedure == "sp_prepare" || calls[i].procedure == "sp_prepexec") {
            reply.outputs.insert(reply.outputs.begin(), db::Value(static_cast<int>(handles.size())));
          }
          answer += RpcAnswer(reply, calls[i].params, i + 1 < calls.size());
        }
        if (waiting_attention) continue;
      } else if (type == tds::kTransactionManager) {
        TdsRequest r;
        r.connection = id;
        r.procedure = "transaction " + tds::ReadTransactionRequest(message);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(r);
        }
        answer = tds::TransactionAnswer(tds::ReadTransactionRequest(message));
      } else {
        answer = tds::TransactionAnswer("other");  // a plain DONE: the client never waits in vain
      }
    } catch (const std::exception& e) {
      tds::Writer w;
      tds::WriteMessage(w, 50000, 16, std::string("TDS test server: ") + e.what());
      tds::WriteDone(w, tds::kDone, tds::kDoneError, 0, 0);
      answer = w.str();
    }
    WriteAll(fd, tds::Packets(tds::kTabularResult, answer));
  }
}

}  // namespace testing_support

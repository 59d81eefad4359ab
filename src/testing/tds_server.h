// Test support: a scripted SQL Server on 127.0.0.1, speaking TDS 7.x without TLS, so that the
// ODBC backend can be driven through FreeTDS as it would be against a real server. It is a
// test tool, not a database: every statement is answered from a script keyed by a piece of
// its text (or the procedure's name), and everything that arrives is recorded — the login
// with its decoded password, SQL batches, RPCs with their parameter types and values — for
// tests to assert on.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testing/tds_wire.h"

namespace testing_support {

// One request as it arrived: a SQL batch, or an RPC (sp_executesql's statement text is in
// `sql`, its declarations in `declarations` and its parameters after them in `params`).
struct TdsRequest {
  int connection = 0;
  bool rpc = false;
  std::string procedure;     // "sp_executesql", "GetNewID", "transaction commit", ...; empty for a batch
  std::string sql;           // the batch or the statement of sp_executesql / sp_prepare
  std::string declarations;  // "@P1 nvarchar(4000),@P2 int" of sp_executesql / sp_prepare
  std::vector<tds::Param> params;  // for sp_executesql, only the statement's own parameters
};

struct TdsMessage {
  int number = 50000;
  int severity = 16;  // 11 and up is an error, 10 and below an informational message
  std::string text;
};

struct TdsResultSet {
  std::vector<tds::Column> columns;
  std::vector<std::vector<db::Value>> rows;
};

// The answer to one request.
struct TdsReply {
  std::vector<TdsMessage> messages;        // sent first
  std::vector<int64_t> trigger_counts;     // row counts of a trigger's statements, before the statement's own
  std::vector<TdsResultSet> results;
  int64_t row_count = -1;                  // the statement's records affected; -1 = none
  std::vector<db::Value> outputs;          // values of the output parameters, in order (RPC)
  int32_t return_status = 0;               // RPC
  bool hang = false;                       // no answer until the client sends an attention

  static TdsReply RowCount(int64_t n) {
    TdsReply r;
    r.row_count = n;
    return r;
  }
  static TdsReply Hang() {
    TdsReply r;
    r.hang = true;
    return r;
  }
};

class TdsServer {
 public:
  enum class Mode { kAnswer, kSilent };  // kSilent accepts connections and never answers
  explicit TdsServer(Mode mode = Mode::kAnswer);
  ~TdsServer();
  TdsServer(const TdsServer&) = delete;
  TdsServer& operator=(const TdsServer&) = delete;

  int port() const { return port_; }
  // An ODBC string for FreeTDS to this server ("Driver=FreeTDS;Server=127.0.0.1;Port=N;...").
  std::string OdbcString(const std::string& more = "UID=u;PWD=p;") const;

  // Requests whose text (or procedure name) contains `pattern`, without regard to case, get
  // this reply; a later rule wins over an earlier one. Unmatched requests get an empty
  // answer with no row count.
  using Handler = std::function<TdsReply(const TdsRequest&)>;
  void On(const std::string& pattern, TdsReply reply);
  void On(const std::string& pattern, Handler handler);

  std::vector<tds::Login> logins() const;
  std::vector<tds::PreLogin> prelogins() const;
  std::vector<TdsRequest> requests() const;
  // Requests whose text or procedure contains `pattern` (no regard to case).
  std::vector<TdsRequest> RequestsWith(const std::string& pattern) const;
  int attentions() const { return attentions_; }
  int connections() const { return connections_; }

 private:
  struct Rule {
    std::string pattern;
    Handler handler;
  };
  void Accept();
  void Serve(int fd, int id);
  TdsReply Find(const TdsRequest& request) const;

  Mode mode_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> attentions_{0}, connections_{0};
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::vector<int> client_fds_;
  std::vector<std::thread> workers_;
  std::vector<Rule> rules_;
  std::vector<tds::Login> logins_;
  std::vector<tds::PreLogin> prelogins_;
  std::vector<TdsRequest> requests_;
};

}  // namespace testing_support

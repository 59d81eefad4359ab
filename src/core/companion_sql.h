// The companion SQL object kept beside each connection: it holds its own connection to
// the same database, and the outside components (articles, causali, document links) reach
// the back office through it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "db/connection.h"

namespace velkaris {

class CompanionSql {
 public:
  using ConnectionCreated = std::function<void(db::Connection&)>;
  explicit CompanionSql(ConnectionCreated on_created = nullptr) : on_created_(std::move(on_created)) {}
  // A companion that works on the run's own connection instead of one of its own, so
  // that what the components write joins the run's transaction (a second writer on the
  // same database would wait on it). Connect and Disconnect then only change the state.
  explicit CompanionSql(db::Connection* shared) : shared_(shared) {}

  // Connects on the string with the given mode; failures show only in the state.
  void Connect(const std::string& connection_string, int32_t mode);
  // 1 when connected and usable, 0 when there is nothing to disconnect.
  int16_t State() const {
    if (shared_) return shared_connected_ && shared_->State() == 1 ? 1 : 0;
    return connection_ && connection_->State() == 1 ? 1 : 0;
  }
  void Disconnect();
  const std::string& ConnectionString() const { return connection_string_; }
  int32_t Mode() const { return mode_; }
  // The connection the components use; throws when not connected.
  db::Connection& connection();
  // Statements sent through this object, across its reconnections.
  uint64_t statement_count() const { return retired_ + (connection_ ? connection_->statement_count() : 0); }

 private:
  ConnectionCreated on_created_;
  db::Connection* shared_ = nullptr;
  bool shared_connected_ = false;
  std::unique_ptr<db::Connection> connection_;
  std::string connection_string_;
  int32_t mode_ = 0;
  uint64_t retired_ = 0;
};

}  // namespace velkaris

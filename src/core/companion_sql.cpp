#include "core/companion_sql.h"

#include "db/error.h"

namespace velkaris {

void CompanionSql::Connect(const std::string& connection_string, int32_t mode) {
  Disconnect();
  connection_string_ = connection_string;
  mode_ = mode;
  if (shared_) {
    shared_connected_ = true;
    return;
  }
  connection_ = std::make_unique<db::Connection>();
  try {
    if (on_created_) on_created_(*connection_);
    connection_->Open(connection_string);
  } catch (const std::exception&) {
    connection_.reset();
  }
}

void CompanionSql::Disconnect() {
  shared_connected_ = false;
  if (connection_) retired_ += connection_->statement_count();
  if (connection_ && connection_->State() == 1) {
    try {
      connection_->Close();
    } catch (const std::exception&) {
    }
  }
  connection_.reset();
}

db::Connection& CompanionSql::connection() {
  if (State() != 1) throw db::Error("The companion SQL object is not connected.");
  return shared_ ? *shared_ : *connection_;
}

}  // namespace velkaris

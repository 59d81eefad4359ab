// ADO-shaped command for the back office's stored procedure "GetNewID": parameters are
// appended in order and bound by position.
#pragma once

#include <string>
#include <vector>

#include "db/connection.h"
#include "db/value.h"

namespace db {

enum DataType { kAdInteger = 3, kAdVarChar = 200 };
enum ParameterDirection { kParamInput = 1, kParamOutput = 2 };
enum CommandType { kCmdText = 1, kCmdStoredProc = 4 };

struct Parameter {
  std::string name;
  DataType type;
  ParameterDirection direction;
  int size;
  Value value;
};

class Command {
 public:
  explicit Command(Connection* active_connection) : connection_(active_connection) {}
  void set_command_type(CommandType type) { type_ = type; }
  void set_command_text(std::string text) { text_ = std::move(text); }
  void Append(Parameter p) { params_.push_back(std::move(p)); }
  Parameter& Item(size_t index) { return params_.at(index); }
  Parameter& Item(const std::string& name);
  // Runs the procedure; output parameters receive their values.
  void Execute();

 private:
  Connection* connection_;
  CommandType type_ = kCmdText;
  std::string text_;
  std::vector<Parameter> params_;
};

}  // namespace db

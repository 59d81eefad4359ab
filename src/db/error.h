// Errors raised by the database layer: the driver's description, with the SQL text.
#pragma once

#include <stdexcept>
#include <string>

namespace db {

class Error : public std::runtime_error {
 public:
  // -2147467259 (0x80004005) is the generic provider error number.
  explicit Error(const std::string& description, int number = -2147467259)
      : std::runtime_error(description), number_(number) {}
  int number() const { return number_; }

 private:
  int number_;
};

}  // namespace db

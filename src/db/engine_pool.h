// Open database engines kept between the connections of one run. A pass closes and opens
// its connections several times, as the shops' logs show; on SQLite each new connection
// would prepare every statement again, read the tables' columns again, and the last one
// to close would copy the whole journal back into the database and delete it. A connection
// given a pool hands its engine back on Close and takes it again on Open with the same
// string: the logs and the SQL stay the same, the database sees one connection.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/engine.h"

namespace db {

class EnginePool {
 public:
  struct Kept {
    std::unique_ptr<Engine> engine;
    std::string connection_string;  // as the open connection reported it
    bool sqlite = false;
  };

  EnginePool() = default;
  EnginePool(const EnginePool&) = delete;
  EnginePool& operator=(const EnginePool&) = delete;
  ~EnginePool();

  // An engine given back for `key` (the string it was opened with), or one without engine.
  Kept Take(const std::string& key);
  // Keeps an idle engine (no transaction, no snapshot) for the next Take of `key`.
  void Give(const std::string& key, Kept kept);
  // Closes every kept engine.
  void Clear();
  size_t size() const { return kept_.size(); }

 private:
  std::vector<std::pair<std::string, Kept>> kept_;
};

}  // namespace db

// Results of reads kept on a connection so that the same query is not sent twice while
// its answer cannot have changed. Three policies:
//  - kOff: nothing is kept (the default);
//  - kMasterData: only reads of tables a pass never writes (settings, causali, VAT codes,
//    currencies, operators, ...) and the empty "where 1=2" reads that only fetch columns:
//    safe whoever else writes the database;
//  - kAll: any read, forgotten as soon as the connection writes a table it reads, rolls
//    back, or begins a transaction. Only for a connection that holds the database's write
//    lock (SQLite inside BEGIN IMMEDIATE), where nobody else can change what it read.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/engine.h"

namespace db {

enum class ReadCache { kOff, kMasterData, kAll };

class QueryCache {
 public:
  void set_policy(ReadCache policy) {
    policy_ = policy;
    Clear();
  }
  ReadCache policy() const { return policy_; }

  // The kept answer of a query, or null. `exclusive`: the connection holds the write lock
  // (without it kAll acts as kMasterData).
  const ResultSet* Find(const std::string& sql, bool exclusive) const;
  // Keeps the answer of a query when the policy allows it.
  void Store(const std::string& sql, const ResultSet& result, bool exclusive);
  // A statement that may write: forgets the answers that read what it writes.
  void Written(const std::string& sql);
  void Clear() {
    entries_.clear();
    by_table_.clear();
  }

 private:
  struct Entry {
    ResultSet result;
    std::vector<std::string> tables;  // lower case
    bool columns_only = false;        // a "where 1=2" read: only the table's shape
    bool master = false;              // answerable without the write lock
    bool star = false;                // reads every column ("*")
    std::vector<std::string> words;   // every name it mentions, lower case, without prefix
  };
  // What a write statement touches, parsed once per text.
  struct Write {
    bool read_only = false;
    std::string table;
    std::vector<std::string> columns;
  };
  const Write& WriteOf(const std::string& sql);

  ReadCache policy_ = ReadCache::kOff;
  std::unordered_map<std::string, Entry> entries_;
  std::unordered_map<std::string, std::vector<std::string>> by_table_;  // table -> keys of entries_
  std::unordered_map<std::string, Write> writes_;
};

// The tables a statement reads (after FROM and JOIN) or writes (INSERT INTO, UPDATE,
// DELETE FROM), lower case, without schema prefix or quotes. Exposed for the tests.
std::vector<std::string> TablesRead(const std::string& sql);
std::string TableWritten(const std::string& sql);
// The columns an UPDATE sets (lower case, without prefix); empty for other statements.
std::vector<std::string> ColumnsSet(const std::string& sql);

}  // namespace db

// Results of reads kept on a connection so that the same query is not sent twice while
// its answer cannot have changed: with kMasterData, the reads of tables a pass never writes
// (settings, causali, VAT codes, currencies, operators, ...) and the empty "where 1=2"
// reads that only fetch a table's columns. kInTransaction keeps as well the reads of
// articles, barcodes, movement headers and discount reasons made inside a transaction on
// SQLite: there no one else writes (the transaction holds the write lock, and the schema
// has no triggers), and a receipt reads the same article, header or reason several times
// between two of its own writes. A write of this connection to a kept table forgets the
// answers that read it; a rollback, a commit or a new transaction forgets everything.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/engine.h"

namespace db {

enum class ReadCache { kOff, kMasterData, kInTransaction };

class QueryCache {
 public:
  void set_policy(ReadCache policy) {
    policy_ = policy;
    Clear();
  }
  ReadCache policy() const { return policy_; }

  // The kept answer of a query, or null. It is shared: nothing may change it.
  std::shared_ptr<ResultSet> Find(const std::string& sql) const;
  // Keeps the answer of a query when the policy allows it; `in_transaction` tells whether
  // the connection's transaction is open.
  void Store(const std::string& sql, std::shared_ptr<ResultSet> result, bool in_transaction);
  // A statement that may write: forgets the answers that read what it writes.
  void Written(const std::string& sql);
  void Clear() {
    entries_.clear();
    by_table_.clear();
  }

 private:
  struct Entry {
    std::shared_ptr<ResultSet> result;
    bool columns_only = false;  // a "where 1=2" read: only the table's shape
  };
  // Forgets the answers that read `table`, except its "where 1=2" columns.
  void Forget(const std::string& table);
  ReadCache policy_ = ReadCache::kOff;
  std::unordered_map<std::string, Entry> entries_;
  std::unordered_map<std::string, std::vector<std::string>> by_table_;  // table -> keys of entries_
};

// The tables a statement reads (after FROM and JOIN) or writes (INSERT INTO, UPDATE,
// DELETE FROM), lower case, without schema prefix or quotes. Exposed for the tests.
std::vector<std::string> TablesRead(const std::string& sql);
std::string TableWritten(const std::string& sql);

}  // namespace db

// Results of reads kept on a connection so that the same query is not sent twice while
// its answer cannot have changed: with kMasterData, the reads of tables a pass never writes
// (settings, causali, VAT codes, currencies, operators, ...) and the empty "where 1=2"
// reads that only fetch a table's columns. kInTransaction keeps as well the reads of
// articles, barcodes, movement headers and discount reasons made inside a transaction on
// SQLite: there no one else writes (the transaction holds the write lock, and the schema
// has no triggers), and a receipt reads the same article, header or reason several times
// between two of its own writes. The same holds for the reads of one snapshot (the front
// office's, read for a batch of receipts). A write of this connection to a kept table forgets the
// answers that read it, except, for an UPDATE, those that name none of the columns it sets
// (stock written to an article leaves its units of measure as they were) and those about
// other rows (the article read by its id, when another article's id is updated); a
// rollback, a commit or a new transaction forgets everything.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/engine.h"
#include "db/pinned_columns.h"

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
  // Keeps the answer of a query when the policy allows it; `frozen` tells whether no one else
  // can change what the connection reads: its transaction holds the write lock, or its reads
  // share one snapshot (writes of its own held back meanwhile are not in the database yet).
  void Store(const std::string& sql, std::shared_ptr<ResultSet> result, bool frozen);
  // A statement that may write: forgets the answers that read what it writes. `params` are
  // the values of its '?' marks.
  void Written(const std::string& sql, const std::vector<Value>& params = {});
  void Clear() {
    entries_.clear();
    by_table_.clear();
    prefetched_.clear();
  }

  // Answers worked out by the caller from a wider read, each kept for the one read of its
  // text that follows (Take hands it over and forgets it). The caller keeps them only
  // while nothing can change what they read; any write forgets them all.
  void KeepPrefetched(const std::string& sql, std::shared_ptr<ResultSet> result) {
    if (policy_ != ReadCache::kOff) prefetched_[sql] = std::move(result);
  }
  std::shared_ptr<ResultSet> Take(const std::string& sql);
  void ForgetPrefetched() { prefetched_.clear(); }

  // What a read depends on; the same for every text of one statement shape.
  struct ReadFacts {
    std::shared_ptr<const std::vector<ColumnInfo>> shape;  // keeps the address it is found by unique
    std::vector<std::string> tables;                       // as TablesRead
    bool master_only = false;                              // every table is master data
    bool kept_in_transaction = false;                      // every table is master data or read again
    bool every_column = false;                             // "*": it depends on every column
    bool point_read = false;  // of one table, its conditions pin a column ("where idArticolo=5")
    std::vector<std::string> names;                        // the names it mentions, lower case, sorted
  };

 private:
  // The kept reads of one table that have one shape, forgotten together, or by the value
  // they pin their point column to ("... where idArticolo=5": idarticolo, 5).
  struct Group {
    std::shared_ptr<const ReadFacts> facts;
    bool columns_only = false;      // "where 1=2" reads: only the table's shape
    std::vector<std::string> keys;  // of entries_; some may be gone already
    std::string point_column;
    std::unordered_map<std::string, std::vector<std::string>> by_value;  // pinned value -> keys
  };
  // The facts of a read, worked out once per shape of result (the columns of a prepared
  // statement are shared by all its results).
  std::shared_ptr<const ReadFacts> FactsOf(const std::string& sql, const ResultSet& result);
  // Forgets the answers that read `table`, except its "where 1=2" columns and, when `set`
  // lists the columns an UPDATE sets, the answers that name none of them or that pin a
  // column it does not set to another value than the update pins it to (`pinned`).
  // `pinned` is worked out on first need.
  void Forget(const std::string& table, const std::vector<std::string>* set,
              const std::function<const std::vector<PinnedColumn>&()>& pinned = nullptr);
  // PinnedColumns of an UPDATE with joins; the same texts come again (the stock of one
  // barcode copied for each of its rows), and reading them is long.
  std::vector<PinnedColumn> JoinPinned(const std::string& sql, const std::string& table,
                                       const std::vector<Value>& params);
  ReadCache policy_ = ReadCache::kOff;
  std::unordered_map<std::string, std::shared_ptr<ResultSet>> entries_;
  std::unordered_map<std::string, std::vector<Group>> by_table_;
  std::unordered_map<const void*, std::shared_ptr<const ReadFacts>> facts_;  // by result columns
  std::unordered_map<std::string, std::vector<PinnedColumn>> join_pinned_;   // by text
  std::unordered_map<std::string, std::shared_ptr<ResultSet>> prefetched_;  // by text, used once
};

// The tables a statement reads (after FROM and JOIN) or writes (INSERT INTO, UPDATE,
// DELETE FROM), lower case, without schema prefix or quotes. Exposed for the tests.
std::vector<std::string> TablesRead(const std::string& sql);
std::string TableWritten(const std::string& sql);
// The columns "UPDATE t SET a = ..., b = ... [FROM ...] [WHERE ...]" sets, lower case, without
// table prefix or quotes; false for a statement of another form.
bool ColumnsSet(const std::string& sql, std::vector<std::string>* columns);

}  // namespace db

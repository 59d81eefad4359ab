// An ordered collection of shared objects with optional text keys that compare without
// regard to case, as the platform's Collection does: adding a key twice fails, and
// reading a missing key fails.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/value.h"
#include "util/text.h"

namespace util {

template <class T>
class Collection {
 public:
  using Item = std::shared_ptr<T>;

  void Add(Item item, const std::string& key = "") {
    if (!key.empty()) {
      std::string k = ToLower(key);
      if (index_.count(k)) {
        throw db::VbError(457, "This key is already associated with an element of this collection");
      }
      index_.emplace(k, items_.size());
    }
    items_.push_back(std::move(item));
  }
  // 1-based, as the platform counts.
  const Item& operator()(size_t position) const {
    if (position < 1 || position > items_.size()) throw db::VbError(5, "Invalid procedure call or argument");
    return items_[position - 1];
  }
  const Item& operator[](const std::string& key) const {
    auto it = index_.find(ToLower(key));
    if (it == index_.end()) throw db::VbError(5, "Invalid procedure call or argument");
    return items_[it->second];
  }
  bool Exists(const std::string& key) const { return index_.count(ToLower(key)) > 0; }
  size_t Count() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  void Clear() {
    items_.clear();
    index_.clear();
  }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<Item> items_;
  std::unordered_map<std::string, size_t> index_;
};

}  // namespace util

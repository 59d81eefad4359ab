#include "db/engine_pool.h"

#include <algorithm>

namespace db {

EnginePool::~EnginePool() { Clear(); }

EnginePool::Kept EnginePool::Take(const std::string& key) {
  auto it = std::find_if(kept_.begin(), kept_.end(), [&](const auto& k) { return k.first == key; });
  if (it == kept_.end()) return {};
  Kept kept = std::move(it->second);
  kept_.erase(it);
  return kept;
}

void EnginePool::Give(const std::string& key, Kept kept) { kept_.emplace_back(key, std::move(kept)); }

void EnginePool::Clear() {
  for (auto& [key, kept] : kept_) {
    try {
      kept.engine->Close();
    } catch (...) {
      // closing is best effort: the process ends or the run is over
    }
  }
  kept_.clear();
}

}  // namespace db

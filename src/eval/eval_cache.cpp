// The evaluation cache: two tables (one per side to move) of XOR-checked 16-byte entries.
#include <cstdlib>
#include <cstring>

#include "core/platform.h"
#include "eval/eval_internal.h"

namespace {

EvalCacheEntry* Tables[2];
long CacheKilobytes = 0;
long EntriesPerTable = 0;

}  // namespace

EvalCacheEntry* EvalCacheTable[2];
uint32_t EvalCacheMask;

void ResizeEvalCache(long kilobytes) {
  if (kilobytes == CacheKilobytes) return;
  for (auto& t : Tables) {
    std::free(t);
    t = nullptr;
  }
  CacheKilobytes = 0;
  EntriesPerTable = 0;
  EvalCacheTable[0] = EvalCacheTable[1] = nullptr;
  EvalCacheMask = 0;
  if (kilobytes <= 0) return;
  // Each table takes half of the cache: 1024 / 16 / 2 = 32 entries per kilobyte.
  long entries = kilobytes * 32;
  for (auto& t : Tables) {
    t = static_cast<EvalCacheEntry*>(AllocateLargeTable(size_t(entries) * sizeof(EvalCacheEntry)));
    if (!t) {
      for (auto& u : Tables) {
        std::free(u);
        u = nullptr;
      }
      return;
    }
  }
  CacheKilobytes = kilobytes;
  EntriesPerTable = entries;
  EvalCacheTable[0] = Tables[0];
  EvalCacheTable[1] = Tables[1];
  EvalCacheMask = uint32_t(entries - 1);
  ClearEvalCache();
}

void ClearEvalCache() {
  for (auto* t : Tables)
    if (t) std::memset(static_cast<void*>(t), 0, size_t(EntriesPerTable) * sizeof(EvalCacheEntry));
}

void PrefetchEvalCache(int side, uint64_t key) {
  if (EvalCacheTable[side]) __builtin_prefetch(&EvalCacheTable[side][uint32_t(key >> 32) & EvalCacheMask]);
}

long EvalCacheEntries() { return EntriesPerTable; }

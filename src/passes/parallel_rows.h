// Runs a row-band function over [0, count) on a few threads. Each band is independent, so the
// result does not depend on the number of threads.
#pragma once
#include <algorithm>
#include <thread>
#include <vector>

#include "imaging/worker_thread.h"

namespace tavrik {

// Number of bands for `work` units of work (pixels): one below a threshold, else up to the
// machine's cores, at most 8.
inline int bandCount(long long work) {
  if (work < (1 << 18)) return 1;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<int>(std::min(cores, 8u));
}

// Calls fn(band, begin, end) for `bands` consecutive ranges covering [0, count); band 0 runs on
// the calling thread. Exceptions must not escape fn.
template <typename Fn>
void forEachBand(int count, int bands, Fn&& fn) {
  bands = std::max(1, std::min(bands, count));
  if (bands <= 1) {
    if (count > 0) fn(0, 0, count);
    return;
  }
  // A band whose thread cannot start runs on the calling thread (see WorkerThread).
  std::vector<WorkerThread> workers;
  workers.reserve(static_cast<size_t>(bands - 1));
  auto bound = [&](int b) { return static_cast<int>(static_cast<long long>(count) * b / bands); };
  for (int b = 1; b < bands; ++b) workers.emplace_back([&, b] { fn(b, bound(b), bound(b + 1)); });
  fn(0, 0, bound(1));
  for (auto& t : workers) t.join();
}

}  // namespace tavrik

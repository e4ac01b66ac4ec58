// Work split over threads when the system refuses new threads, and the French text of every
// exception the user can see.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <new>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "base/error.h"
#include "child_process.h"
#include "passes/parallel_rows.h"

using namespace tavrik;

// With no room left for a thread's stack, every band still runs, on the calling thread, and no
// error escapes (it used to surface as "Resource temporarily unavailable").
TEST(WorkerThreads, BandsWhoseThreadCannotStartRunOnTheCallingThread) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address-space limit cannot be used under AddressSanitizer";
#endif
  const test::ChildEnd end = test::runInChild([] {
    std::vector<int> done(8000, 0);
    std::vector<int> bands(8, 0);
    // The address space in use now, and a little more: no 8 MiB thread stack fits.
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t bytes = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (2 << 20);
    const rlimit limit{bytes, bytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0) return 3;
    try {
      forEachBand(static_cast<int>(done.size()), 8, [&](int band, int begin, int end) {
        ++bands[static_cast<size_t>(band)];
        for (int i = begin; i < end; ++i) ++done[static_cast<size_t>(i)];
      });
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 2;
    }
    for (const int n : done)
      if (n != 1) return 1;
    for (const int n : bands)
      if (n != 1) return 1;
    return 0;
  });
  EXPECT_FALSE(end.hung);
  EXPECT_EQ(end.exitCode, 0);
}

TEST(UserMessage, EveryExceptionReadsInFrench) {
  const struct {
    std::exception_ptr error;
    const char* text;
  } cases[] = {
      {std::make_exception_ptr(Error("Image bitmap incorrecte")), "Image bitmap incorrecte"},
      {std::make_exception_ptr(std::bad_alloc()), "Mémoire insuffisante"},
      {std::make_exception_ptr(std::length_error("vector::reserve")), "Mémoire insuffisante"},
      {std::make_exception_ptr(std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again))),
       "Mémoire insuffisante"},
      {std::make_exception_ptr(std::system_error(std::make_error_code(std::errc::not_enough_memory))),
       "Mémoire insuffisante"},
      {std::make_exception_ptr(std::system_error(std::make_error_code(std::errc::io_error))),
       "Erreur système (code 5)"},
      {std::make_exception_ptr(std::runtime_error("something broke")), "Erreur inattendue"},
  };
  for (const auto& c : cases) {
    try {
      std::rethrow_exception(c.error);
    } catch (const std::exception& e) {
      EXPECT_EQ(userMessage(e), c.text) << e.what();
    }
  }
}

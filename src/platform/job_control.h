#pragma once

#include <atomic>
#include <cstdint>

namespace tarvex {

// What a piece of work done off the window's thread is handed: the generation it was started
// under and a stop flag the window raises once it no longer wants the result. Work that reads a
// file checks the flag between blocks and ends early; whatever it returns then is dropped.
// Plain C++ with no Qt object, so core work takes it without knowing who runs it.
class JobControl {
 public:
  explicit JobControl(std::uint64_t generation) : generation_(generation) {}
  JobControl(const JobControl&) = delete;
  JobControl& operator=(const JobControl&) = delete;

  std::uint64_t generation() const { return generation_; }
  bool stopped() const { return stop_.load(std::memory_order_relaxed); }
  void stop() { stop_.store(true, std::memory_order_relaxed); }
  // For core work that takes a bare flag.
  const std::atomic<bool>& stop_flag() const { return stop_; }

 private:
  const std::uint64_t generation_;
  std::atomic<bool> stop_{false};
};

}  // namespace tarvex

#pragma once

#include "text/text_index.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace tarvex::testing {

// Slow media as a test can hold them: while an object of this class lives, every read of a text's
// file off the thread that made it waits until release(), or three seconds at most (the thread
// that made it, the window's, reads at once, so that it can be seen not to wait for the others:
// a window that waited for a held read would find it gone when it goes on). Reads run freely
// again when the object goes.
class HeldReads {
 public:
  HeldReads() {
    const std::lock_guard lock(state().mutex);
    state().window = std::this_thread::get_id();
    state().held = true;
    state().waiting = 0;
    set_text_read_function(&read);
  }
  ~HeldReads() {
    release();
    set_text_read_function(nullptr);
  }
  HeldReads(const HeldReads&) = delete;
  HeldReads& operator=(const HeldReads&) = delete;

  void release() {
    {
      const std::lock_guard lock(state().mutex);
      state().held = false;
    }
    state().changed.notify_all();
  }
  // Waits until a read is held (true), or a second has passed (false).
  bool wait_for_a_held_read() const {
    std::unique_lock lock(state().mutex);
    return state().changed.wait_for(lock, std::chrono::seconds(1),
                                    [] { return state().waiting > 0; });
  }
  int held_reads() const {
    const std::lock_guard lock(state().mutex);
    return state().waiting;
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::thread::id window;
    bool held = false;
    int waiting = 0;
  };
  static State& state() {
    static State s;
    return s;
  }
  static ssize_t read(int fd, void* buffer, size_t count, off_t offset) {
    {
      std::unique_lock lock(state().mutex);
      if (std::this_thread::get_id() != state().window) {
        ++state().waiting;
        state().changed.notify_all();
        state().changed.wait_for(lock, std::chrono::seconds(3), [] { return !state().held; });
        --state().waiting;
      }
    }
    return ::pread(fd, buffer, count, offset);
  }
};

}  // namespace tarvex::testing

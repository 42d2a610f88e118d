// The upload worker: sends the upload lines to the instrument, one line each time it asks with the start
// word.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

#include "serial/SerialPort.h"
#include "text/Arrays.h"
#include "text/CString.h"

namespace kestrion {

// One cycle of the worker lasts at most this long while nothing arrives.
inline constexpr std::chrono::milliseconds kUploadPollPeriod{50};

// How far the worker is, as it tells it. Lines are those of the text; the closing line is not counted.
struct UploadProgress {
  using Clock = std::chrono::steady_clock;
  enum class State { Idle, Running, Finished, Stopped };
  State state = State::Idle;
  int lineCount = 0;
  int linesSent = 0;
  std::optional<Clock::time_point> firstRequest;  // when the first start word was answered
  Clock::time_point lastRequest{};                // when the latest one was
  Clock::time_point ended{};                      // when the worker ended (Finished, Stopped)
};

// What the worker shares with the window. Every access to `uploadLines`, `status` and `progress` goes through
// `lock`, one operation at a time; the port has a lock of its own.
struct UploadShared {
  mutable std::mutex lock;
  CStringArray uploadLines;  // rebuilt by the window only while no worker runs
  CString status;            // everything the instrument sent during the upload
  UploadProgress progress;   // written by the worker
};

// The Upload command's cutting: the text's lines (split at LF, empty pieces dropped), then the closing line.
void PrepareUploadLines(const CString& text, CStringArray& lines);

// The worker's cycle, until the closing line has been sent or `stop` is requested: wait up to one poll period
// for bytes, read once (at most kMaxReadBytes), add what came to `status` and to the request text, and when
// the request text holds the start word send the next line in one write and empty the request text. A closed
// or vanished port is polled again every period, so an upload goes on once the port is opened again. Returns
// 0.
unsigned UploadThreadProc(SerialPort& port, UploadShared& shared, std::stop_token stop);

// Owns the worker thread. `port` and `shared` must outlive the worker: the destructor stops and joins it.
class UploadWorker {
 public:
  UploadWorker() = default;
  ~UploadWorker();
  UploadWorker(const UploadWorker&) = delete;
  UploadWorker& operator=(const UploadWorker&) = delete;

  // Starts a worker; one that is still running is stopped and joined first, so that two never answer the same
  // requests. The new upload's progress (running, its line count) is in `shared` before the thread runs. False,
  // with the progress idle, when the system could not start a thread.
  bool Start(SerialPort& port, UploadShared& shared);
  // Asks the worker to end; it does so within one cycle.
  void RequestStop();
  // Waits for the worker to end (at once when none was started).
  void Join();
  // True from Start until the worker has ended, by its closing line or by a stop.
  bool Running() const;

 private:
  std::atomic<bool> m_bRunning{false};
  std::jthread m_thread;
};

}  // namespace kestrion

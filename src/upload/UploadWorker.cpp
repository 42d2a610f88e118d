#include "upload/UploadWorker.h"

#include <algorithm>
#include <condition_variable>
#include <system_error>

#include "serial/Framing.h"
#include "text/SplitString.h"

namespace kestrion {
namespace {

using Clock = std::chrono::steady_clock;

// Sleeps until `until`, or less when a stop is requested.
void SleepUntil(Clock::time_point until, const std::stop_token& stop) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_until(lock, stop, until, [] { return false; });
}

}  // namespace

void PrepareUploadLines(const CString& text, CStringArray& lines) {
  SplitString(text, lines, "\n");
  lines.Add(kClosingLine);
}

namespace {

// From here on the upload is shown as waiting for its first line, not as the one before it.
void PublishStart(UploadShared& shared) {
  std::lock_guard lock(shared.lock);
  shared.progress = UploadProgress{};
  shared.progress.state = UploadProgress::State::Running;
  shared.progress.lineCount = std::max(0, shared.uploadLines.GetSize() - 1);
}

// The worker's cycle once its start is published.
unsigned RunUpload(SerialPort& port, UploadShared& shared, const std::stop_token& stop) {
  int lineIndex = 0;
  bool finished = false;
  CString request;  // what arrived since the last line was sent
  while (!finished && !stop.stop_requested()) {
    const Clock::time_point cycleStart = Clock::now();
    // Answer a request as soon as it arrives instead of sleeping through a whole period.
    port.WaitForBytes(kUploadPollPeriod, stop);
    if (stop.stop_requested()) break;

    const ChunkRead read = ReadChunk(port);
    if (read.readBytes) {
      {
        std::lock_guard lock(shared.lock);
        shared.status += read.chunk;
      }
      request += read.chunk;
    }

    if (request.Find(kWordStart) >= 0) {
      CString line;
      int lineCount = 0;
      {
        std::lock_guard lock(shared.lock);
        lineCount = shared.uploadLines.GetSize();
        if (lineIndex < lineCount) line = shared.uploadLines.GetAt(lineIndex);
      }
      // The instrument acknowledges nothing but the next request, so a failed write counts as sent too. A stop
      // ends a write that a stalled line holds up.
      if (lineIndex < lineCount) port.Write(LineForSending(line).View(), stop);
      request.Empty();
      ++lineIndex;
      finished = lineIndex >= lineCount;
      std::lock_guard lock(shared.lock);
      UploadProgress& progress = shared.progress;
      const Clock::time_point now = Clock::now();
      if (!progress.firstRequest) progress.firstRequest = now;
      progress.lastRequest = now;
      progress.linesSent = std::min(lineIndex, progress.lineCount);
    }

    // Nothing came: the wait ended early only because no device is held or it vanished; keep the period.
    if (!read.readBytes && !finished) SleepUntil(cycleStart + kUploadPollPeriod, stop);
  }
  std::lock_guard lock(shared.lock);
  shared.progress.state = finished ? UploadProgress::State::Finished : UploadProgress::State::Stopped;
  shared.progress.ended = Clock::now();
  return 0;
}

}  // namespace

unsigned UploadThreadProc(SerialPort& port, UploadShared& shared, std::stop_token stop) {
  PublishStart(shared);
  return RunUpload(port, shared, stop);
}

UploadWorker::~UploadWorker() {
  RequestStop();
  Join();
}

bool UploadWorker::Start(SerialPort& port, UploadShared& shared) {
  RequestStop();
  Join();
  // Published before the thread runs, so that nobody sees the previous upload's end in between.
  PublishStart(shared);
  m_bRunning = true;
  try {
    m_thread = std::jthread([this, &port, &shared](std::stop_token stop) {
      RunUpload(port, shared, stop);
      m_bRunning = false;
    });
  } catch (const std::system_error&) {
    m_bRunning = false;
    std::lock_guard lock(shared.lock);
    shared.progress.state = UploadProgress::State::Idle;
    return false;
  }
  return true;
}

void UploadWorker::RequestStop() {
  m_thread.request_stop();
}

void UploadWorker::Join() {
  if (m_thread.joinable()) m_thread.join();
}

bool UploadWorker::Running() const {
  return m_bRunning;
}

}  // namespace kestrion

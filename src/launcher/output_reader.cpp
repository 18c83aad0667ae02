#include "launcher/output_reader.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "common/unique_handles.h"
#include "launcher/oem_decoder.h"

namespace vexlo {
namespace {

constexpr UINT kEndedByLauncher = 1;

class OutputReader {
 public:
  explicit OutputReader(const ReaderSetup& setup)
      : run_(setup),
        readDone_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        buffer_(setup.readBytes),
        decoder_(setup.codePage) {}
  OutputReader(const OutputReader&) = delete;
  OutputReader& operator=(const OutputReader&) = delete;
  // The system writes into the buffer until a read has completed, cancelled or not.
  ~OutputReader() { CancelRead(); }

  // False when the launcher was released first; true when the run is to end.
  [[nodiscard]] bool ReadUntilToolEnded();

 private:
  enum class Next { kData, kOutputClosed, kProcessEnded, kCancelled };
  [[nodiscard]] Next WaitForNext();
  [[nodiscard]] Next ReadWhatIsThere();
  [[nodiscard]] bool StartRead();
  [[nodiscard]] Next FinishRead();
  [[nodiscard]] bool TakeWhatIsLeft();
  [[nodiscard]] bool WaitForProcess();
  [[nodiscard]] bool Deliver(DWORD got);
  [[nodiscard]] bool DeliverHeldBack();
  DWORD CancelRead() noexcept;

  const ReaderSetup& run_;
  UniqueKernelHandle readDone_;
  OVERLAPPED overlapped_{};
  bool reading_ = false;
  DWORD got_ = 0;
  std::int64_t readAt_ = 0;  // when the last read completed
  std::vector<char> buffer_;
  OemDecoder decoder_;
};

bool OutputReader::ReadUntilToolEnded() {
  if (!readDone_) return true;  // nothing can be read: the run ends at once
  for (;;) {
    switch (WaitForNext()) {
      case Next::kData:
        if (!Deliver(got_)) return false;
        continue;
      case Next::kOutputClosed:
        // A tool can close its output and go on running; its run lasts until it ends.
        if (!DeliverHeldBack() || !WaitForProcess()) return false;
        return true;
      case Next::kProcessEnded:
        // What the tool left running may hold the pipe for ever; the run ends now.
        return TakeWhatIsLeft() && DeliverHeldBack();
      case Next::kCancelled:
        return false;
    }
  }
}

OutputReader::Next OutputReader::WaitForNext() {
  if (!reading_ && !StartRead()) return Next::kOutputClosed;
  // Output first: it was written before the end that may be signalled with it.
  const HANDLE waits[] = {readDone_.get(), run_.process, run_.cancel};
  switch (::WaitForMultipleObjects(3, waits, FALSE, INFINITE)) {
    case WAIT_OBJECT_0: return FinishRead();
    case WAIT_OBJECT_0 + 1: return Next::kProcessEnded;
    default: return Next::kCancelled;
  }
}

// A read that completes at once is also reported through the event, so every read
// finishes in FinishRead.
bool OutputReader::StartRead() {
  ::ResetEvent(readDone_.get());
  overlapped_ = OVERLAPPED{};
  overlapped_.hEvent = readDone_.get();
  // Held-back bytes of a split character count towards the piece's size.
  const auto want = static_cast<DWORD>(buffer_.size() - decoder_.PendingBytes());
  // ERROR_BROKEN_PIPE: every holder of the write end is gone.
  if (!::ReadFile(run_.output, buffer_.data(), want, nullptr, &overlapped_) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  reading_ = true;
  return true;
}

OutputReader::Next OutputReader::FinishRead() {
  reading_ = false;
  got_ = 0;
  const BOOL read = ::GetOverlappedResult(run_.output, &overlapped_, &got_, FALSE);
  // The time of the read, not of its delivery: the window may be busy for a while.
  readAt_ = UtcTicksNow();
  if (!read) return Next::kOutputClosed;
  return Next::kData;
}

// Once the process has ended, all it wrote is in the pipe. Take that much and stop:
// a child it left running may go on writing.
bool OutputReader::TakeWhatIsLeft() {
  // A read under way means the pipe was empty; a write may have raced the cancel.
  if (reading_ && !Deliver(CancelRead())) return false;
  DWORD left = 0;
  if (!::PeekNamedPipe(run_.output, nullptr, 0, nullptr, &left, nullptr)) return true;
  while (left > 0) {
    const Next next = ReadWhatIsThere();
    if (next == Next::kCancelled) return false;
    if (next != Next::kData) return true;
    left -= std::min(left, got_);
    if (!Deliver(got_)) return false;
  }
  return true;
}

OutputReader::Next OutputReader::ReadWhatIsThere() {
  if (!StartRead()) return Next::kOutputClosed;
  const HANDLE waits[] = {readDone_.get(), run_.cancel};
  if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return Next::kCancelled;
  return FinishRead();
}

bool OutputReader::WaitForProcess() {
  const HANDLE waits[] = {run_.process, run_.cancel};
  return ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
}

bool OutputReader::Deliver(DWORD got) {
  if (got == 0) return true;
  const std::size_t heldBefore = decoder_.PendingBytes();
  std::wstring text = decoder_.Decode(std::string_view(buffer_.data(), got));
  const std::size_t bytes = heldBefore + got - decoder_.PendingBytes();
  // A console shows NUL as a space; the window's box would end its text there.
  std::replace(text.begin(), text.end(), L'\0', L' ');
  return text.empty() || run_.queue->Push(std::move(text), bytes, readAt_);
}

bool OutputReader::DeliverHeldBack() {
  const std::size_t bytes = decoder_.PendingBytes();
  std::wstring text = decoder_.Flush();
  std::replace(text.begin(), text.end(), L'\0', L' ');
  // The held-back character's last byte was read last of all.
  return text.empty() || run_.queue->Push(std::move(text), bytes, readAt_);
}

DWORD OutputReader::CancelRead() noexcept {
  if (!reading_) return 0;
  reading_ = false;
  ::CancelIoEx(run_.output, &overlapped_);
  DWORD got = 0;
  const BOOL read = ::GetOverlappedResult(run_.output, &overlapped_, &got, TRUE);
  readAt_ = UtcTicksNow();
  return read ? got : 0;
}

}  // namespace

DWORD WINAPI ReaderMain(void* param) noexcept {
  const auto& run = *static_cast<const ReaderSetup*>(param);
  bool ended = false;
  try {
    OutputReader reader(run);
    ended = reader.ReadUntilToolEnded();
  } catch (...) {
    // Out of memory while decoding: end the run rather than the program.
    ended = true;
  }
  if (!ended) return 0;  // the launcher is being released and ends the job itself
  // Whatever the tool left running ends with its run; without a job, only the tool
  // itself can be ended (it has ended already, unless decoding failed).
  if (run.job != nullptr) {
    ::TerminateJobObject(run.job, kEndedByLauncher);
  } else {
    ::TerminateProcess(run.process, kEndedByLauncher);
  }
  run.queue->Close();
  return 0;
}

}  // namespace vexlo

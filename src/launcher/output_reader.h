#pragma once
// The reader thread of one run: reads the tool's output into the run's queue until the
// tool has ended, then ends whatever the tool left running and closes the queue.

#include <windows.h>

#include <cstdint>

#include "launcher/output_queue.h"

namespace vexlo {

// What the reader uses; the launcher owns all of it and outlives the thread.
struct ReaderSetup {
  HANDLE job;
  HANDLE process;
  HANDLE output;  // the pipe's read end, opened for overlapped reads
  HANDLE cancel;  // a manual-reset event, set when the launcher is released
  OutputQueue* queue;
  UINT codePage;
  std::uint32_t readBytes;
};

// The thread's entry point; param is a ReaderSetup.
DWORD WINAPI ReaderMain(void* param) noexcept;

}  // namespace vexlo

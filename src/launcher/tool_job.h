#pragma once
// The job a tool runs in. Its own kill-on-close job, nested in ours when we run in a
// job; broken away from ours when ours refuses nesting but lets children leave; or no
// job at all when ours allows neither. Decided from our own process's job.

#include <windows.h>

#include <optional>

#include "common/unique_handles.h"

namespace vexlo {

// What our own process's job (if any) allows.
struct OwnJob {
  bool inJob = false;
  std::optional<DWORD> uiRestrictions;  // nothing when the system does not say (Wine 8)
  DWORD limitFlags = 0;                 // JOB_OBJECT_LIMIT_*; Wine 8 always says 0
};

enum class JobPlacement {
  kJob,           // a job of the tool's own, nested in ours if we run in one
  kJobBreakaway,  // the same, created with CREATE_BREAKAWAY_FROM_JOB
  kNoJob,         // no job of ours: ended with TerminateProcess, its children live on
};

[[nodiscard]] OwnJob QueryOwnJob();
[[nodiscard]] JobPlacement ChoosePlacement(const OwnJob& own);
// The process creation flags that placement asks for, beyond the usual ones.
[[nodiscard]] DWORD PlacementCreationFlags(JobPlacement placement) noexcept;

// A job that ends everything in it when its last handle closes, also by our death.
[[nodiscard]] DWORD CreateKillOnCloseJob(UniqueKernelHandle& job);

}  // namespace vexlo

#include "launcher/tool_job.h"

namespace vexlo {

OwnJob QueryOwnJob() {
  OwnJob own;
  BOOL inJob = FALSE;
  if (!::IsProcessInJob(::GetCurrentProcess(), nullptr, &inJob) || !inJob) return own;
  own.inJob = true;
  // A null job handle asks about our own (immediate) job; no UI-limited job has a
  // parent, since such jobs never nest.
  JOBOBJECT_BASIC_UI_RESTRICTIONS ui{};
  if (::QueryInformationJobObject(nullptr, JobObjectBasicUIRestrictions, &ui, sizeof ui, nullptr)) {
    own.uiRestrictions = ui.UIRestrictionsClass;
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  if (::QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &limits, sizeof limits,
                                  nullptr)) {
    own.limitFlags = limits.BasicLimitInformation.LimitFlags;
  }
  return own;
}

JobPlacement ChoosePlacement(const OwnJob& own) {
  // Jobs nest only when neither sets UI limits.
  if (!own.inJob || own.uiRestrictions == 0u) return JobPlacement::kJob;
  // Every child leaves our job by itself, so the tool's own job can take it in.
  if ((own.limitFlags & JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK) != 0) return JobPlacement::kJob;
  if ((own.limitFlags & JOB_OBJECT_LIMIT_BREAKAWAY_OK) != 0) return JobPlacement::kJobBreakaway;
  // Wine 8 answers neither question (it nests regardless, and reports no limits at
  // all). Breaking away is tried; refused, the tool runs outside a job, as on Windows.
  if (!own.uiRestrictions) return JobPlacement::kJobBreakaway;
  return JobPlacement::kNoJob;
}

DWORD PlacementCreationFlags(JobPlacement placement) noexcept {
  // Without it, a job that refuses nesting keeps the tool and refuses the job of its own.
  return placement == JobPlacement::kJobBreakaway ? CREATE_BREAKAWAY_FROM_JOB : 0;
}

DWORD CreateKillOnCloseJob(UniqueKernelHandle& job) {
  job.reset(::CreateJobObjectW(nullptr, nullptr));
  if (!job) return ::GetLastError();
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
    const DWORD e = ::GetLastError();
    job.reset();
    return e;
  }
  return 0;
}

}  // namespace vexlo

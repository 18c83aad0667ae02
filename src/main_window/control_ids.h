#pragma once
// Child-window ids. They start above IDOK and IDCANCEL, which Enter and Esc send.

namespace vexlo {

enum ControlId : int {
  kIdTabStrip = 100,
  kIdStatusBar,
  kIdFrame0,
  kIdFrame1,
  kIdFrame2,
  kIdFrame3,
  kIdAddressPing = 200,
  kIdExecutePing,
  kIdOptA,
  kIdOptF,
  kIdOptT,
  kIdOptN,
  kIdTimesN,
  kIdClearPing,
  kIdExitPing,
  kIdOutputPing,
  kIdLabelTimesN,
  kIdLabelAddressPing,
  kIdStripPing,
  kIdAddressTracert = 300,
  kIdExecuteTracert,
  kIdOptD,
  kIdOptH,
  kIdTimesH,
  kIdClearTracert,
  kIdExitTracert,
  kIdOutputTracert,
  kIdLabelOptH,
  kIdLabelAddressTrace,
  kIdStripTracert,
  kIdAddressLookup = 400,
  kIdExecuteLookup,
  kIdClearLookup,
  kIdExitLookup,
  kIdOutputLookup,
  kIdLabelAddressLookup,
  kIdHelp1 = 500,
  kIdHelp2,
  kIdHelp3,
  kIdHelp4,
};

}  // namespace vexlo

#include "output_view/uniscribe_api.h"

namespace vexlo {

UniscribeApi UniscribeApi::Load() {
  UniscribeApi a;
  const HMODULE m = LoadSystemLibrary(L"usp10.dll");
  LoadEntryPoint(m, "ScriptIsComplex", a.isComplex);
  LoadEntryPoint(m, "ScriptStringAnalyse", a.stringAnalyse);
  LoadEntryPoint(m, "ScriptStringFree", a.stringFree);
  LoadEntryPoint(m, "ScriptString_pSize", a.stringSize);
  LoadEntryPoint(m, "ScriptString_pLogAttr", a.stringLogAttr);
  LoadEntryPoint(m, "ScriptStringCPtoX", a.stringCPtoX);
  LoadEntryPoint(m, "ScriptStringXtoCP", a.stringXtoCP);
  LoadEntryPoint(m, "ScriptStringGetLogicalWidths", a.stringGetLogicalWidths);
  LoadEntryPoint(m, "ScriptStringOut", a.stringOut);
  return a.Usable() ? a : UniscribeApi{};
}

}  // namespace vexlo

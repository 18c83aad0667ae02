#pragma once
// Tool output as Windows prints it in several languages, and a way to read it.

#include <string>
#include <string_view>

#include "run_facts/run_facts.h"

namespace vexlo::test {

// Reads text as one run starting at base in the box, in pieces of piece characters,
// each piece read at the time of its offset.
inline void ReadRun(RunFacts& facts, RunTool tool, std::wstring_view text, std::size_t piece, std::uint32_t base = 0) {
  facts.StartRun(tool, base);
  for (std::size_t at = 0; at < text.size(); at += piece) {
    static_cast<void>(facts.Read(text.substr(at, piece), base + static_cast<std::uint32_t>(at),
                                 static_cast<FactTime>(base + at)));
  }
  static_cast<void>(facts.EndRun());
}

}  // namespace vexlo::test

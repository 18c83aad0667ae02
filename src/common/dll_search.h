#pragma once

namespace vexlo {

// From here on, DLLs that this process loads by name come from the system directory
// only: not the program's directory, the current directory or PATH. To be called
// first thing at start-up. False where the system refuses.
[[nodiscard]] bool RestrictDllSearchToSystem() noexcept;

}  // namespace vexlo

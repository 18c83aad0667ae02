// A DLL that the tests plant beside a program, where a hardened program must not
// load it from.
extern "C" __declspec(dllexport) int VexloPlanted() { return 42; }

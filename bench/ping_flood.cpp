// Writes ping reply lines to standard output as fast as the pipe takes them, for the
// benchmark's flood: ping_flood BYTES [ignored arguments].
#include <windows.h>

#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
  unsigned long long left = argc > 1 ? std::wcstoull(argv[1], nullptr, 10) : 0;
  std::string block;
  while (block.size() < 64 * 1024) block += "Reply from 192.0.2.1: bytes=32 time<1ms TTL=128\r\n";
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  while (left > 0) {
    const DWORD n = static_cast<DWORD>(left < block.size() ? left : block.size());
    DWORD written = 0;
    if (!::WriteFile(out, block.data(), n, &written, nullptr)) return 1;  // the reader is gone
    left -= written;
  }
  return 0;
}

#include "support/system_only.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace brindle::test {

bool RunningUnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace brindle::test

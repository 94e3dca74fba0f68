// A Windows program that only waits: the tests copy it under the names of the game and the Steam
// client so the process table shows those (the Linux tests copy the system's sleep).
#include <windows.h>

int main() {
  ::Sleep(10 * 60 * 1000);
  return 0;
}

// brindle-sim under ThreadSanitizer. Debian's cpp-httplib is not built with it, so the library's
// own hand-offs between its pool threads are invisible and its memcpy/memcmp on buffers it passes
// along show up as races. Those calls are the library's, not ours: the interceptors called from it
// are not reported. Our route handlers (called from its threads) stay fully checked.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}
#endif

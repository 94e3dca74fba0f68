// Text at the Windows API: the program's GBK texts become UTF-16 there and come back as GBK.
// Internal to the Windows half of the platform layer.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/system.h"

namespace brindle::platform::win {

// GBK text to UTF-16 (wchar_t is UTF-16 on Windows).
std::wstring to_wide(std::string_view gbk);
// UTF-16 to GBK; a character GBK lacks becomes "?".
std::string from_wide(std::wstring_view wide);
std::string utf8_from_wide(std::wstring_view wide);

// A GBK path as the wide-character file functions take it. Long absolute paths get the "\\?\"
// prefix (after the system has made them full, since that prefix turns off its own clean-up),
// so a deep game folder is not cut at MAX_PATH.
std::wstring os_path(const std::string& gbk_path);

// Closes a kernel handle on every path out of a function.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void reset(HANDLE h = nullptr) {
    if (ok()) ::CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace brindle::platform::win

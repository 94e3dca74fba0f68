// How a feature opens a page in the person's own browser. The features that do it keep one of
// these (the desktop's handler unless set), so tests capture the address instead of starting a
// browser.
#pragma once

#include <functional>
#include <string>

#include "foundation/process_tools.h"

namespace brindle {

using UrlOpener = std::function<void(const std::string& url)>;

// The opener to use: `opener` when set, else the desktop's handler (OpenUrl).
inline void OpenWith(const UrlOpener& opener, const std::string& url) {
  if (opener) {
    opener(url);
  } else {
    OpenUrl(url);
  }
}

}  // namespace brindle

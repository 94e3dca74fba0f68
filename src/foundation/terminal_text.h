// Text from the network made safe to print on a terminal. A server name may carry escape
// sequences that clear the screen, move the cursor or retitle the window, and CR or LF that fake
// lines of output; printed as they are, they act on the person's terminal. Here every control
// character is shown escaped instead, and a backslash is doubled so an escape can be told from the
// same characters sent literally. Everything else passes unchanged.
#pragma once

#include <string>
#include <string_view>

namespace brindle {

// UTF-8 in, UTF-8 out. C0 controls and DEL become "\n", "\r", "\t" or "\xHH"; C1 controls
// (U+0080..U+009F, which some terminals obey as ESC sequences) become "\u00HH"; "\" becomes "\\".
// A byte that is not part of valid UTF-8 is shown as "\xHH", so a lone 0x9B (an 8-bit CSI) never
// reaches the terminal either.
std::string terminal_text_utf8(std::string_view utf8);

// The program's GBK text, converted to UTF-8 whole characters first (a double-byte character
// whose trail byte looks like ASCII, "\" or "@" say, stays one character), then escaped as above.
std::string gbk_to_terminal_text(std::string_view gbk);

// JSON text (UTF-8) with DEL and the C1 controls written as \u escapes as well: a JSON writer
// escapes only U+0000..U+001F. Outside strings JSON text is ASCII, so every byte changed is
// inside a string and the value read back is the same.
std::string json_text_for_terminal(std::string_view json_utf8);

}  // namespace brindle

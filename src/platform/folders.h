// Where the program may keep its folder: whether a folder can be written, the user's own data
// folder, and the extractor a package installed. Part of the platform layer (posix/, win32/),
// apart from platform.h because only the choice of the program folder needs it.
#pragma once

#include <string>

namespace brindle::platform {

// Whether this process can make files in the folder `dir`. A folder that grants nobody write
// permission counts as read-only for the POSIX superuser too, who could write it anyway: whoever
// took the permission away meant it.
[[nodiscard]] bool folder_writable(const std::string& dir);

// The user's own folder for this program's files, made (with its parents) when missing:
// $XDG_DATA_HOME/brindle, or ~/.local/share/brindle when that is unset or not absolute;
// %LOCALAPPDATA%\Brindle on Windows. Empty when the system names no such place or it cannot be
// made.
[[nodiscard]] std::string user_program_folder();

// The extractor installed with the program, for a program folder that has none of its own:
// 7-Zip's `7zz` found on PATH (the system's 7-Zip package) here; on Windows
// qdata\7zip\q_unbz2.exe beside the executable. Empty when there is none.
[[nodiscard]] std::string installed_extractor();

}  // namespace brindle::platform

// The whole program on one core: every feature bound to the window and hooked into start-up.
// The window program, brindle-cli and the end-to-end tests all start through here.
#pragma once

namespace brindle {

class Core;
struct CommandLine;

// Registers every feature with the core, in start-up order; each binds its buttons, menus and
// clocks as it is registered.
void BindFeatures(Core& core);

// Process entry and main-window creation on the UI thread: endpoints, libcurl, features, the
// start-up stage and the start-up clock. False when the program must end (exit code 0 after a
// missing component was reported, 1 when the endpoints file cannot be read: `exit_code`).
bool StartProgram(Core& core, const CommandLine& command_line, int& exit_code);

}  // namespace brindle

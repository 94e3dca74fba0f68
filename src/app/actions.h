// Binds the core's handlers to the window's controls: navigation, launch options, the
// pre-download switch and the game-path buttons.
#pragma once

namespace brindle {

class Core;

// For checkable controls the window sets the new checked state before it activates the control,
// so a handler reads the state the person chose.
void BindCoreActions(Core& core);

}  // namespace brindle

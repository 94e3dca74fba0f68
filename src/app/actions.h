// The core's own controls as a feature: navigation, launch options, the pre-download switch and
// the game-path buttons with the game-detection clock.
#pragma once

#include "app/feature.h"

namespace brindle {

// For checkable controls the window sets the new checked state before it activates the control,
// so a handler reads the state the person chose.
class CoreActions final : public Feature {
 public:
  const char* name() const override { return "core"; }
  void Bind(Core& core) override;
};

}  // namespace brindle

#include "app/app_state.h"

namespace brindle {

AppState& App() {
  static AppState state;
  return state;
}

}  // namespace brindle

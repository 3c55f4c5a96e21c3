#include "link/ControllerLink.h"

// Zero-initialised at image load: no discovery made, no table cached.
CONTROLLER_STATE ControllerState;

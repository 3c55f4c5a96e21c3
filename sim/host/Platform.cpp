#include "sim/host/Platform.h"

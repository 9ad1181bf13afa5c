// Moved to foundation/swap_basic.h; this name keeps older includes building.
#pragma once
#include "foundation/swap_basic.h"

// Moved to foundation/swap_filter.h; this name keeps older includes building.
#pragma once
#include "foundation/swap_filter.h"

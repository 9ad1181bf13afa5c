// Moved to model/symbol_drawer.h; this name keeps older includes building.
#pragma once
#include "model/symbol_drawer.h"

// Moved to model/drawing_base.h; this name keeps older includes building.
#pragma once
#include "model/drawing_base.h"

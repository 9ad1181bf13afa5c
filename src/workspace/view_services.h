// Moved to model/view_services.h; this name keeps older includes building.
#pragma once
#include "model/view_services.h"

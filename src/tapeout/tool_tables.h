// Moved to model/tool_tables.h; this name keeps older includes building.
#pragma once
#include "model/tool_tables.h"

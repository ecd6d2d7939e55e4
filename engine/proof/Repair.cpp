#include "engine/proof/Repair.h"

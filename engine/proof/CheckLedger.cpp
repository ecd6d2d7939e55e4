#include "engine/proof/CheckLedger.h"

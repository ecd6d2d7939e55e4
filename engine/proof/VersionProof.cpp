#include "engine/proof/VersionProof.h"

// Which scanner a capture would use, in the administrator's lookup order.
#pragma once
#include <vector>

#include "support/Win32.h"

// Rebuilds `order`: the registry's SensorDetectOrder when it names exactly
// three known families, the default order otherwise.
void ReadFingerscannerLookupOrder(std::vector<WString>& order);

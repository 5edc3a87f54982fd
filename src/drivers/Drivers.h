// The driver singletons the front end chooses from. The product defines them
// with the library's process-wide objects; a family not built answers null,
// so detection finds nothing for its name.
#pragma once
#include <vector>

#include "drivers/CSensor.h"

class Authentec9Sensor;
class CVeskBitDevice;

CVeskBitDevice* GetVeskBitSensor();
Authentec9Sensor* GetAuthentec9Sensor();
CSensor* GetUpekSensor();

// The lookup order of the last detection (process-wide, rebuilt each time).
std::vector<WString>& SensorLookupOrder();

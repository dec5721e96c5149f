#pragma once
// One entry of the sensor database, kept in the translator's SensorEntries under its sensor ID:
// TSensorRecord, TTEDSBlock and the file codec live in SensorDatabase.h.

#include "model/SensorDatabase.h"

#pragma once
// One entry of the sensor database, kept in the translator's SensorEntries under its sensor ID.
// Its fields and byte codec come with the sensor database.

namespace qrb::model {

struct TSensorRecord {};

} // namespace qrb::model

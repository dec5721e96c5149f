#pragma once
// The scan targets the settings name: the LAN address list and the simulated devices.

#include "device/I2CTypes.h"
#include "ui/settings/Settings.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qrb::ui {

// A comma text split as the class library splits it: commas and blanks (characters up to
// space) outside double quotes separate items, leading blanks are skipped; an item in double
// quotes may hold both, a doubled quote inside stands for one; two commas in a row give an
// empty item, as does a comma at the end. An unterminated quote runs to the end of the text.
std::vector<std::string> SplitCommaText(std::string_view text);

// The scan targets of the settings in order: one LAN target per comma item (when LAN is
// enabled and the list is not empty), then one simulated target per device (when offline mode
// is enabled).
std::vector<std::pair<std::string, device::TInterfaceMask>> ScanTargets(const TSettings& settings);

} // namespace qrb::ui

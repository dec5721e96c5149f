#pragma once
// What the setup files and exports share: the model as they see it, serial texts and the
// file-name rules.

#include "model/QRBRawChannel.h"
#include "model/QRBRawMaster.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::model {

// The model as the setup files see it: every device and every channel object, in model order.
struct TSetupModel {
    std::vector<const TQRBRawMaster*> Masters;
    std::vector<TQRBRawChannel*> Channels;
};

// True when found holds for every present channel of the model, asked in model order up to the
// first one it does not hold for.
bool EveryPresentChannel(const TSetupModel& model, const std::function<bool(const TQRBRawChannel&)>& found);

// "%2.2d-%3.3d" of the two numbers.
std::string SetupSerialText(int64_t first, int64_t second);

// The part from the last '.' after the last '/', or empty.
std::string ExtractFileExt(std::string_view fileName);
// The name without that part.
std::string RemoveFileExt(std::string_view fileName);
// The part after the last '/'.
std::string ExtractFileName(std::string_view fileName);
// Blanks and control characters removed at both ends.
std::string TrimText(std::string_view text);

// The errno of the last failed call, or EIO when it left none.
int LastErrorCode();

} // namespace qrb::model

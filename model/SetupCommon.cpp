#include "model/SetupCommon.h"

#include "device/Format.h"

#include <cerrno>

namespace qrb::model {

std::string SetupSerialText(int64_t first, int64_t second) {
    return device::Format("%2.2d-%3.3d", first, second);
}

bool EveryPresentChannel(const TSetupModel& model, const std::function<bool(const TQRBRawChannel&)>& found) {
    for (const TQRBRawChannel* ch : model.Channels)
        if (ch != nullptr && ch->Present && !found(*ch)) return false;
    return true;
}

std::string ExtractFileExt(std::string_view fileName) {
    const size_t dot = fileName.find_last_of("./");
    if (dot == std::string_view::npos || fileName[dot] != '.') return {};
    return std::string(fileName.substr(dot));
}

std::string RemoveFileExt(std::string_view fileName) {
    return std::string(fileName.substr(0, fileName.size() - ExtractFileExt(fileName).size()));
}

std::string ExtractFileName(std::string_view fileName) {
    const size_t slash = fileName.find_last_of('/');
    return std::string(slash == std::string_view::npos ? fileName : fileName.substr(slash + 1));
}

std::string TrimText(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<uint8_t>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<uint8_t>(text[end - 1]) <= ' ')
        --end;
    return std::string(text.substr(begin, end - begin));
}

int LastErrorCode() {
    return errno != 0 ? errno : EIO;
}

} // namespace qrb::model

#include "ui/settings/ScanTargets.h"

#include "device/Format.h"

#include <utility>

namespace qrb::ui {

namespace {

bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= ' ';
}

} // namespace

std::vector<std::string> SplitCommaText(std::string_view text) {
    // The text ends at a NUL, as the class library reads it.
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> items;
    const size_t n = text.size();
    size_t p = 0;
    while (p < n && IsBlank(text[p]))
        ++p;
    while (p < n) {
        std::string item;
        if (text[p] == '"') {
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        item += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const size_t start = p;
            while (p<n&& static_cast<unsigned char>(text[p])> ' ' && text[p] != ',')
                ++p;
            item.assign(text.substr(start, p - start));
        }
        items.push_back(std::move(item));
        while (p < n && IsBlank(text[p]))
            ++p;
        if (p < n && text[p] == ',') {
            if (p + 1 >= n) items.emplace_back();
            do
                ++p;
            while (p < n && IsBlank(text[p]));
        }
    }
    return items;
}

std::vector<std::pair<std::string, device::TInterfaceMask>> ScanTargets(const TSettings& settings) {
    std::vector<std::pair<std::string, device::TInterfaceMask>> targets;
    if (!settings.LANAddresses.empty() && settings.Interfaces.HasLAN())
        for (std::string& item : SplitCommaText(settings.LANAddresses))
            targets.emplace_back(std::move(item), device::kMaskLAN);
    if (settings.Interfaces.HasOffline())
        for (int i = 0; i < settings.VirtDevices; ++i)
            targets.emplace_back(device::Format("Simul%2.2d-%d:3", {i + 1, settings.VirtChannels}),
                                 device::kMaskOffline);
    return targets;
}

} // namespace qrb::ui

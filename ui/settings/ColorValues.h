#pragma once
// The colour values of the settings as Qt colours: 0x00BBGGRR for a plain colour, 0xFF0000nn for
// the platform's system colour nn, which maps onto a role of the palette.

#include <QColor>
#include <QPalette>

#include <cstdint>
#include <iterator>

namespace qrb::ui {

namespace detail {

struct TSystemColor {
    QPalette::ColorGroup Group;
    QPalette::ColorRole Role;
};
// Palette role of each system colour index; GRAYTEXT (17) is the disabled text.
// clang-format off
inline constexpr TSystemColor kSystemColors[31] = {
    {QPalette::Active, QPalette::Button},          // 0  scroll bar
    {QPalette::Active, QPalette::Dark},            // 1  desktop
    {QPalette::Active, QPalette::Highlight},       // 2  active caption
    {QPalette::Inactive, QPalette::Mid},           // 3  inactive caption
    {QPalette::Active, QPalette::Window},          // 4  menu
    {QPalette::Active, QPalette::Base},            // 5  window
    {QPalette::Active, QPalette::Shadow},          // 6  window frame
    {QPalette::Active, QPalette::WindowText},      // 7  menu text
    {QPalette::Active, QPalette::Text},            // 8  window text
    {QPalette::Active, QPalette::HighlightedText}, // 9  caption text
    {QPalette::Active, QPalette::Button},          // 10 active border
    {QPalette::Active, QPalette::Button},          // 11 inactive border
    {QPalette::Active, QPalette::Mid},             // 12 application workspace
    {QPalette::Active, QPalette::Highlight},       // 13 highlight
    {QPalette::Active, QPalette::HighlightedText}, // 14 highlight text
    {QPalette::Active, QPalette::Button},          // 15 button face
    {QPalette::Active, QPalette::Dark},            // 16 button shadow
    {QPalette::Disabled, QPalette::Text},          // 17 grey text
    {QPalette::Active, QPalette::ButtonText},      // 18 button text
    {QPalette::Inactive, QPalette::WindowText},    // 19 inactive caption text
    {QPalette::Active, QPalette::Light},           // 20 button highlight
    {QPalette::Active, QPalette::Shadow},          // 21 3D dark shadow
    {QPalette::Active, QPalette::Midlight},        // 22 3D light
    {QPalette::Active, QPalette::ToolTipText},     // 23 info text
    {QPalette::Active, QPalette::ToolTipBase},     // 24 info background
    {QPalette::Active, QPalette::Window},          // 25 (unused)
    {QPalette::Active, QPalette::Link},            // 26 hot light
    {QPalette::Active, QPalette::Highlight},       // 27 gradient active caption
    {QPalette::Inactive, QPalette::Mid},           // 28 gradient inactive caption
    {QPalette::Active, QPalette::Highlight},       // 29 menu highlight
    {QPalette::Active, QPalette::Window},          // 30 menu bar
};
// clang-format on

} // namespace detail

// A colour value of the settings as a colour of palette; an unknown system colour is the
// window background.
inline QColor ColorFromValue(int32_t value, const QPalette& palette) {
    const auto v = static_cast<uint32_t>(value);
    if ((v & 0xFF000000u) == 0xFF000000u) {
        const uint32_t index = v & 0xFFu;
        if (index < std::size(detail::kSystemColors))
            return palette.color(detail::kSystemColors[index].Group, detail::kSystemColors[index].Role);
        return palette.color(QPalette::Window);
    }
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

} // namespace qrb::ui

#include "ui/texts/Texts.h"

#include <algorithm>
#include <atomic>

namespace qrb::ui {

namespace {

// Starts English, as the main window sets it before the settings are read.
std::atomic<uint16_t> CurrentLangOffset{LangEnglish};

// Cuts UTF-8 text after `maxChars` code points.
std::string CutToChars(const char* text, size_t maxChars) {
    std::string s(text);
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue; // continuation byte
        if (chars == maxChars) {
            s.resize(i);
            break;
        }
        ++chars;
    }
    return s;
}

} // namespace

uint16_t LangOffset() {
    return CurrentLangOffset.load(std::memory_order_relaxed);
}

void SetLangOffset(uint16_t offset) {
    CurrentLangOffset.store(offset, std::memory_order_relaxed);
}

std::string ResourceText(std::span<const TTextRow> table, int64_t resourceId) {
    if (resourceId < 0 || resourceId >= 2 * int64_t{LangEnglish}) return {};
    const bool english = resourceId >= LangEnglish;
    const int id = static_cast<int>(english ? resourceId - LangEnglish : resourceId);
    auto it = std::lower_bound(table.begin(), table.end(), id,
                               [](const TTextRow& row, int key) { return row.Id < key; });
    if (it == table.end() || it->Id != id) return {};
    const char* text = english ? it->English : it->German;
    if (text == nullptr) return {};
    return CutToChars(text, MaxTextLength);
}

std::string LookUpText(std::span<const TTextRow> table, int id, uint16_t langOffset) {
    std::string text = ResourceText(table, int64_t{langOffset} + id);
    if (text.empty()) text = ResourceText(table, id);
    if (text.empty()) text = MissingText;
    return text;
}

std::string GetText(int id) {
    return LookUpText(TextTable(), id, LangOffset());
}

} // namespace qrb::ui

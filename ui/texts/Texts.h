#pragma once
// Texts of the user interface in two languages, looked up by text ID.

#include <cstdint>
#include <span>
#include <string>

namespace qrb::ui {

// One text ID: German at resource Id, English at resource Id + 10000.
struct TTextRow {
    int Id;
    const char* German;
    const char* English;
};

inline constexpr uint16_t LangGerman = 0;
inline constexpr uint16_t LangEnglish = 10000;
inline constexpr size_t MaxTextLength = 510; // characters, as the resource buffer holds
inline constexpr const char* MissingText = "<n/a>";

// The program's table, sorted by Id.
std::span<const TTextRow> TextTable();

// The language offset: 0 German, 10000 English; other values are used as given.
uint16_t LangOffset();
void SetLangOffset(uint16_t offset);

// The text of resource `resourceId` in `table` (German below 10000, English from 10000 to 19999),
// cut to MaxTextLength characters; empty when there is none.
std::string ResourceText(std::span<const TTextRow> table, int64_t resourceId);

// Text `id` in the language `langOffset`, else the German text, else "<n/a>".
std::string LookUpText(std::span<const TTextRow> table, int id, uint16_t langOffset);

// Text `id` of the program's table in the current language (UTF-8).
std::string GetText(int id);

} // namespace qrb::ui

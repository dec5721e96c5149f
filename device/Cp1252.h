#pragma once
// Windows-1252 <-> UTF-8 codec and character-counting helpers for UTF-8 text.
//
// The five byte values Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the
// code points of the same value, so every byte string survives a round trip unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qrb::device {

// Code point of one Windows-1252 byte (never fails).
char32_t Cp1252ToUnicode(uint8_t byte);

// Byte of a code point; false when Windows-1252 has no byte for it.
bool UnicodeToCp1252(char32_t cp, uint8_t& byte);

// Decodes one UTF-8 character at pos and advances pos. A byte that does not start a valid,
// shortest-form sequence (no surrogates, at most U+10FFFF) yields false and advances by one.
bool Utf8Next(std::string_view s, size_t& pos, char32_t& cp);

// Appends the UTF-8 form of cp (values above U+10FFFF and surrogates append '?').
void AppendUtf8(std::string& out, char32_t cp);

bool IsValidUtf8(std::string_view s);

// Characters of s; each byte of an invalid sequence counts as one character.
size_t Utf8Length(std::string_view s);

// The first maxChars characters of s, never splitting a sequence.
std::string Utf8Cut(std::string_view s, size_t maxChars);

// Bytes -> UTF-8; always valid UTF-8.
std::string Cp1252ToUtf8(std::string_view bytes);

// UTF-8 -> bytes; a character outside Windows-1252 and each byte of an invalid sequence
// become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

// The text as the model keeps it: valid UTF-8 holding only characters Windows-1252 can store
// (others, and invalid bytes, become '?').
std::string ToModelText(std::string_view utf8);

} // namespace qrb::device

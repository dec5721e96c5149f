#pragma once
// Qt's date and time patterns in the class library's pattern language.

#include <algorithm>
#include <string>

namespace qrb::ui {

// d dd ddd dddd stay; M.. become m..; y.. stay; h/H become h; m.. become n..; s, z stay;
// AP/ap/A/a become "ampm"; the time zone (t) is dropped with the blank before it; quoted text
// and other letters become "..." literals; '/' and ':' stay as the separators; anything else
// stays as it is.
std::string QtPatternToClassLibrary(const std::string& qtPattern);

} // namespace qrb::ui

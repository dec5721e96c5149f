#pragma once
// Conversions between the program's UTF-8 strings and Qt's strings.

#include <QString>

#include <string>

namespace qrb::ui {

inline QString ToQt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQt(const QString& text) {
    return text.toUtf8().toStdString();
}
// A text for a label or message box: the table's "\r\n" line breaks become Qt's "\n".
inline QString ToDisplay(const std::string& text) {
    QString s = ToQt(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

} // namespace qrb::ui

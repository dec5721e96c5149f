#pragma once
// The bold title at the top of the main window's first page and of the dialogs.

#include <QFont>
#include <QLabel>
#include <QString>

namespace qrb::ui {

inline QLabel* TitleLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setBold(true);
    font.setPixelSize(18);
    label->setFont(font);
    return label;
}

} // namespace qrb::ui

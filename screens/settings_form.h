#pragma once
// The settings window's grouped forms: sections with an optional title over
// a card of rows, each row a label at the left and its control at the right.
#include <QString>
#include <QWidget>
#include <initializer_list>

namespace SettingsForm {

// A scrolling form of sections, top to bottom, on the window's background.
QWidget* form(std::initializer_list<QWidget*> sections);
// A titled section (no title: none shown) holding the rows on one card.
QWidget* section(const QString& title, std::initializer_list<QWidget*> rows);
// A row: the label (12 points) at the left, a flexible space, then trailing.
QWidget* row(const QString& label, QWidget* trailing);
// A row holding one widget across its width.
QWidget* row(QWidget* content);

}  // namespace SettingsForm

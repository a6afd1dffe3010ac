#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class QWidget;

// The interface texts of a window as the user reads them, and whether they fit where they are drawn.
namespace TextFit {

// The texts of the window and its children that are cut: a label, button, check box, combo box
// entry, line edit text or placeholder whose text (its bounding box at the widget's font) is wider
// than the part of the widget that draws it, a label whose ink (drawn with room around it) leaves
// the label or lies under a control beside it, a word-wrapped label whose lines are taller than
// the label, or a widget with a text that reaches out of its shown parent. Hidden widgets count as
// shown (rows that come later); a stacked page is checked against its parent once it is shown.
// One line per text: "objectName: text (needs N, has M)".
QStringList cutTexts(QWidget *window);

// Every interface text of the window and its children by "objectName.property" (text, tool tip,
// placeholder, window title, combo box entries), for comparing languages.
QMap<QString, QString> texts(QWidget *window);

} // namespace TextFit

// The big value fields show every reading whole: a text that does not fit the field
// in its designed font (say "-3277.00" in the dew-point field) gets that font just
// small enough, instead of losing its sign or a digit out of view.
#pragma once

#include <QString>

class QLineEdit;

namespace hmx {

// The width a line edit has for its text.
int TextRoom(const QLineEdit& field);

// Sets the text, in the field's designed font (its font at the first call) where
// the text fits, else in that font shrunk by whole pixels until it does.
void ShowWhole(QLineEdit& field, const QString& text);

} // namespace hmx

// OpenDialog1: a file-open dialog with no filter, title, extension or folder set.
#pragma once

#include <QString>

#include <functional>

class QWidget;

class OpenDialog {
public:
    // Shows the dialog; true with FileName set to the chosen file's full name, false on cancel.
    bool Execute(QWidget* parent);
    QString FileName;

    // Replaces the dialog (tests): returns the chosen name, or an empty string for a cancel.
    static void setChooserForTesting(std::function<QString()> chooser);
};

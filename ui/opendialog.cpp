// OpenDialog1: the platform's file-open dialog, replaceable by tests.
#include "ui/opendialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include <utility>

namespace {

std::function<QString()>& testChooser()
{
    static std::function<QString()> chooser;
    return chooser;
}

} // namespace

bool OpenDialog::Execute(QWidget* parent)
{
    const QString chosen = testChooser() ? testChooser()() : QFileDialog::getOpenFileName(parent);
    if (chosen.isEmpty())
        return false;  // cancelled: FileName keeps its old value
    FileName = QFileInfo(chosen).absoluteFilePath();
    return true;
}

void OpenDialog::setChooserForTesting(std::function<QString()> chooser)
{
    testChooser() = std::move(chooser);
}

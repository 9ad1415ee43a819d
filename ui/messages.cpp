#include "ui/messages.h"

#include "ui/language.h"

#include <QFileInfo>
#include <QStringList>

namespace hmx {

namespace {

QString Devices(const std::vector<std::string>& devices)
{
    QStringList names;
    for (const std::string& device : devices)
        names << QString::fromStdString(device);
    return names.join(QStringLiteral(", "));
}

} // namespace

QString NoInstrumentText(const ScanResult& scan)
{
    if (!scan.denied.empty())
        return ByLanguage("Urządzenie nie odpowiada !\n\nBrak uprawnień do otwarcia: %1.\nW systemie Linux dodaj swoje "
                          "konto do grupy dialout (sudo usermod -aG dialout $USER), a potem wyloguj się i zaloguj "
                          "ponownie.",
                          "Device not found !\n\nNo permission to open: %1.\nOn Linux, add your account to the dialout "
                          "group (sudo usermod -aG dialout $USER), then log out and in again.")
            .arg(Devices(scan.denied));
    if (scan.tried.empty())
        return ByLanguage("Urządzenie nie odpowiada !\n\nNie znaleziono żadnego wolnego portu szeregowego.",
                          "Device not found !\n\nNo free serial port was found.");
    return ByLanguage("Urządzenie nie odpowiada !\n\nSprawdzone porty: %1.",
                      "Device not found !\n\nPorts tried: %1.")
        .arg(Devices(scan.tried));
}

QString OtherInstrumentText(const QString& device, quint16 found, quint16 measured)
{
    return OtherUnitText(device, found, measured, WindowLanguage) + QLatin1Char(' ')
        + ByLanguage("Szukać dalej przyrządu %1, czy przełączyć się na przyrząd %2 (nowy dziennik, numeracja od 1)?",
                     "Keep searching for %1, or switch to %2 (a new log, numbered from 1)?")
              .arg(measured)
              .arg(found);
}

QString ShortDeviceName(const QString& device)
{
    // "/dev/ttyUSB0" -> "ttyUSB0", "/dev/pts/3" -> "pts/3", "\\.\COM3" -> "COM3".
    if (device.startsWith(QStringLiteral("/dev/")))
        return device.mid(5);
    const qsizetype cut = std::max(device.lastIndexOf(QLatin1Char('/')), device.lastIndexOf(QLatin1Char('\\')));
    return device.mid(cut + 1);
}

} // namespace hmx

#include "ui/messages.h"

#include "ui/language.h"

#include <QFileInfo>
#include <QStringList>

namespace hmx {

namespace {

QString Reason(const QString& reason)
{
    return reason.isEmpty() ? ByLanguage("plik jest używany przez inny program", "the file is in use by another program")
                            : reason;
}

QString Devices(const std::vector<std::string>& devices)
{
    QStringList names;
    for (const std::string& device : devices)
        names << QString::fromStdString(device);
    return names.join(QStringLiteral(", "));
}

} // namespace

QString LogProblemText(const LogProblem& p)
{
    using Kind = LogProblem::Kind;
    const QString reason = Reason(p.reason);
    QString text;
    switch (p.kind) {
    case Kind::None:
        return {};
    case Kind::Create:
        text = ByLanguage("Nie można utworzyć %1: %2", "Cannot create %1: %2").arg(p.file, reason);
        break;
    case Kind::KeepEarlier:
        text = ByLanguage("Nie można zachować poprzedniego dziennika %1 jako %2: %3; nic nie zostało zmienione",
                          "Cannot keep the earlier log %1 as %2: %3; nothing was changed")
                   .arg(p.file, p.other, reason);
        break;
    case Kind::Open:
        text = ByLanguage("Nie można otworzyć %1 do dopisywania: %2", "Cannot open %1 for appending: %2")
                   .arg(p.file, reason);
        break;
    case Kind::Write:
        text = ByLanguage("Nie można zapisać do %1: %2", "Cannot write to %1: %2").arg(p.file, reason);
        break;
    case Kind::Recreated:
        text = ByLanguage("Plik %1 zniknął (%2); utworzono go ponownie i odczyty są zapisywane dalej",
                          "%1 had gone (%2); it was created again and the readings go on being written to it")
                   .arg(p.file, reason);
        break;
    case Kind::NotRegular:
        text = ByLanguage("%1 nie jest zwykłym plikiem, lecz %2; dziennik zapisuje się tylko do zwykłego pliku",
                          "%1 is not a regular file but %2; the log is written only to a regular file")
                   .arg(p.file, FileTypeText(p.type));
        break;
    case Kind::Unsaved:
        text = ByLanguage("Nie można zapisać odczytów, które nie trafiły do %1: %2",
                          "Cannot save the readings that did not reach %1: %2")
                   .arg(p.file, reason);
        break;
    }
    if (p.dropped > 0)
        text += ByLanguage(" (zbyt wiele odczytów czekało; pominięte w dzienniku: %1)",
                           " (too many lines waiting; readings dropped from the log: %1)")
                    .arg(p.dropped);
    return text;
}

QString LinesDroppedText(const QString& logName, quint64 dropped)
{
    return ByLanguage("Nie można zapisać %1, a w pamięci czeka zbyt wiele odczytów. Najstarsze z nich nie trafią do "
                      "dziennika: %2",
                      "Cannot write %1 and too many readings are waiting in memory. The oldest of them will not reach "
                      "the log: %2")
        .arg(logName)
        .arg(dropped);
}

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

QString UnsavedLinesText(const QString& logName, qsizetype lines, const QString& savedAs)
{
    return ByLanguage("Nie udało się zapisać %1 odczytów w %2. Zapisano je w pliku %3",
                      "%1 readings could not be written to %2. They were saved in %3")
        .arg(lines)
        .arg(logName, savedAs);
}

QString UnsavedEventsText(const QString& journalName, qsizetype events, const QString& savedAs, const QString& reason)
{
    if (savedAs.isEmpty())
        return ByLanguage("Nie można zapisać %1 zdarzeń, które nie trafiły do %2: %3",
                          "Cannot save the %1 events that did not reach %2: %3")
            .arg(events)
            .arg(journalName, Reason(reason));
    return ByLanguage("Nie udało się zapisać %1 zdarzeń w %2. Zapisano je w pliku %3",
                      "%1 events could not be written to %2. They were saved in %3")
        .arg(events)
        .arg(journalName, savedAs);
}

QString FileTypeText(files::FileType type)
{
    switch (type) {
    case files::FileType::Directory:
        return ByLanguage(QStringLiteral("folderem"), QStringLiteral("a folder"));
    case files::FileType::Fifo:
        return ByLanguage(QStringLiteral("potokiem nazwanym (FIFO)"), QStringLiteral("a named pipe (FIFO)"));
    case files::FileType::CharacterDevice:
        return ByLanguage(QStringLiteral("urządzeniem znakowym"), QStringLiteral("a character device"));
    case files::FileType::BlockDevice:
        return ByLanguage(QStringLiteral("urządzeniem blokowym"), QStringLiteral("a block device"));
    case files::FileType::Socket:
        return ByLanguage(QStringLiteral("gniazdem"), QStringLiteral("a socket"));
    case files::FileType::Regular:
    case files::FileType::Other:
        break;
    }
    return ByLanguage(QStringLiteral("plikiem specjalnym"), QStringLiteral("a special file"));
}

QString AnotherCopyText(const QString& folder, qint64 process)
{
    const QString who = process > 0 ? ByLanguage(" (proces %1)", " (process %1)").arg(process) : QString();
    return ByLanguage("W folderze %1 mierzy już inna kopia programu%2. Jej dziennik jrt1.txt pozostaje nietknięty. "
                      "Każdy przyrząd mierz osobną kopią programu, uruchomioną we własnym folderze",
                      "Another copy of the program%2 is already measuring in the folder %1. Its log jrt1.txt is left "
                      "as it is. Measure each instrument with a copy of its own, started in a folder of its own")
        .arg(folder, who);
}

QString OtherInstrumentText(const QString& device, quint16 found, quint16 measured)
{
    return ByLanguage("Na porcie %1 odpowiada inny przyrząd (numer seryjny %2) niż mierzony dotąd (numer seryjny %3). "
                      "Jego odczyty nie trafią do tego dziennika. Szukać dalej przyrządu %3, czy przełączyć się na "
                      "przyrząd %2 (nowy dziennik, numeracja od 1)?",
                      "Another instrument (serial number %2) answers on the port %1, not the one measured so far "
                      "(serial number %3). Its readings will not go into this log. Keep searching for %3, or switch "
                      "to %2 (a new log, numbered from 1)?")
        .arg(device)
        .arg(found)
        .arg(measured);
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

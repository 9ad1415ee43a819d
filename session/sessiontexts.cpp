#include "session/sessiontexts.h"

#include "publish/publisher.h"

namespace hmx {

namespace {

QString Reason(const QString& reason, Language l)
{
    return reason.isEmpty() ? Wording{l}(QStringLiteral("plik jest używany przez inny program"),
                                         QStringLiteral("the file is in use by another program"))
                            : reason;
}

} // namespace

QString LogProblemText(const LogProblem& p, Language l)
{
    using Kind = LogProblem::Kind;
    const QString reason = Reason(p.reason, l);
    QString text;
    switch (p.kind) {
    case Kind::None:
        return {};
    case Kind::Create:
        text = Wording{l}(QStringLiteral("Nie można utworzyć %1: %2"), QStringLiteral("Cannot create %1: %2"))
                   .arg(p.file, reason);
        break;
    case Kind::KeepEarlier:
        text = Wording{l}(
                          QStringLiteral("Nie można zachować poprzedniego dziennika %1 jako %2: %3; nic nie zostało "
                                         "zmienione"),
                          QStringLiteral("Cannot keep the earlier log %1 as %2: %3; nothing was changed"))
                   .arg(p.file, p.other, reason);
        break;
    case Kind::Open:
        text = Wording{l}(QStringLiteral("Nie można otworzyć %1 do dopisywania: %2"),
                          QStringLiteral("Cannot open %1 for appending: %2"))
                   .arg(p.file, reason);
        break;
    case Kind::Write:
        text = Wording{l}(QStringLiteral("Nie można zapisać do %1: %2"), QStringLiteral("Cannot write to %1: %2"))
                   .arg(p.file, reason);
        break;
    case Kind::Recreated:
        text = Wording{l}(
                          QStringLiteral("Plik %1 zniknął (%2); utworzono go ponownie i odczyty są zapisywane dalej"),
                          QStringLiteral("%1 had gone (%2); it was created again and the readings go on being "
                                         "written to it"))
                   .arg(p.file, reason);
        break;
    case Kind::NotRegular:
        text = Wording{l}(
                          QStringLiteral("%1 nie jest zwykłym plikiem, lecz %2; dziennik zapisuje się tylko do "
                                         "zwykłego pliku"),
                          QStringLiteral("%1 is not a regular file but %2; the log is written only to a regular file"))
                   .arg(p.file, FileTypeText(p.type, l));
        break;
    case Kind::Unsaved:
        text = Wording{l}(QStringLiteral("Nie można zapisać odczytów, które nie trafiły do %1: %2"),
                          QStringLiteral("Cannot save the readings that did not reach %1: %2"))
                   .arg(p.file, reason);
        break;
    }
    if (p.dropped > 0)
        text += Wording{l}(QStringLiteral(" (zbyt wiele odczytów czekało; pominięte w dzienniku: %1)"),
                           QStringLiteral(" (too many lines waiting; readings dropped from the log: %1)"))
                    .arg(p.dropped);
    return text;
}

QString FileTypeText(files::FileType type, Language l)
{
    switch (type) {
    case files::FileType::Directory:
        return Wording{l}(QStringLiteral("folderem"), QStringLiteral("a folder"));
    case files::FileType::Fifo:
        return Wording{l}(QStringLiteral("potokiem nazwanym (FIFO)"), QStringLiteral("a named pipe (FIFO)"));
    case files::FileType::CharacterDevice:
        return Wording{l}(QStringLiteral("urządzeniem znakowym"), QStringLiteral("a character device"));
    case files::FileType::BlockDevice:
        return Wording{l}(QStringLiteral("urządzeniem blokowym"), QStringLiteral("a block device"));
    case files::FileType::Socket:
        return Wording{l}(QStringLiteral("gniazdem"), QStringLiteral("a socket"));
    case files::FileType::Regular:
    case files::FileType::Other:
        break;
    }
    return Wording{l}(QStringLiteral("plikiem specjalnym"), QStringLiteral("a special file"));
}

QString LinesDroppedText(const QString& logName, quint64 dropped, Language l)
{
    return Wording{l}(
                      QStringLiteral("Nie można zapisać %1, a w pamięci czeka zbyt wiele odczytów. Najstarsze z nich "
                                     "nie trafią do dziennika: %2"),
                      QStringLiteral("Cannot write %1 and too many readings are waiting in memory. The oldest of them "
                                     "will not reach the log: %2"))
        .arg(logName)
        .arg(dropped);
}

QString UnsavedLinesText(const QString& logName, qsizetype lines, const QString& savedAs, Language l)
{
    return Wording{l}(QStringLiteral("Nie udało się zapisać %1 odczytów w %2. Zapisano je w pliku %3"),
                      QStringLiteral("%1 readings could not be written to %2. They were saved in %3"))
        .arg(lines)
        .arg(logName, savedAs);
}

QString UnsavedEventsText(const QString& journalName, qsizetype events, const QString& savedAs, const QString& reason,
                          Language l)
{
    if (savedAs.isEmpty())
        return Wording{l}(QStringLiteral("Nie można zapisać %1 zdarzeń, które nie trafiły do %2: %3"),
                          QStringLiteral("Cannot save the %1 events that did not reach %2: %3"))
            .arg(events)
            .arg(journalName, Reason(reason, l));
    return Wording{l}(QStringLiteral("Nie udało się zapisać %1 zdarzeń w %2. Zapisano je w pliku %3"),
                      QStringLiteral("%1 events could not be written to %2. They were saved in %3"))
        .arg(events)
        .arg(journalName, savedAs);
}

QString AnotherCopyText(const QString& folder, qint64 process, const QString& logName, Language l)
{
    const QString who = process > 0 ? Wording{l}(QStringLiteral(" (proces %1)"), QStringLiteral(" (process %1)"))
                                          .arg(process)
                                    : QString();
    return Wording{l}(
                      QStringLiteral("W folderze %1 mierzy już inna kopia programu%2. Jej dziennik %3 pozostaje "
                                     "nietknięty. Każdy przyrząd mierz osobną kopią programu, uruchomioną we własnym "
                                     "folderze"),
                      QStringLiteral("Another copy of the program%2 is already measuring in the folder %1. Its log "
                                     "%3 is left as it is. Measure each instrument with a copy of its own, started in "
                                     "a folder of its own"))
        .arg(folder, who, logName);
}

QString OtherUnitText(const QString& device, quint16 found, quint16 measured, Language l)
{
    return Wording{l}(
                      QStringLiteral("Na porcie %1 odpowiada inny przyrząd (numer seryjny %2) niż mierzony dotąd "
                                     "(numer seryjny %3). Jego odczyty nie trafią do tego dziennika."),
                      QStringLiteral("Another instrument (serial number %2) answers on the port %1, not the one "
                                     "measured so far (serial number %3). Its readings will not go into this log."))
        .arg(device)
        .arg(found)
        .arg(measured);
}

QString VersionText(const VersionInfo& version, Language l)
{
    return Wording{l}(QStringLiteral("KVT-10 wersja: %1 rewizja: %2 numer seyjny: %3"),
                      QStringLiteral("KVT-10 version: %1 rev.: %2 serial number: %3"))
        .arg(version.version)
        .arg(version.revision)
        .arg(version.serialNumber);
}

QString PublishStateText(const PublishState& state, const QString& broker, Language l)
{
    QString text;
    switch (state.link) {
    case PublishState::Link::Off:
        text = Wording{l}(QStringLiteral("MQTT: publikowanie zatrzymane"), QStringLiteral("MQTT: publishing stopped"));
        break;
    case PublishState::Link::Connecting:
        text = Wording{l}(QStringLiteral("MQTT: łączę z %1…"), QStringLiteral("MQTT: connecting to %1…")).arg(broker);
        break;
    case PublishState::Link::Connected:
        text = Wording{l}(QStringLiteral("MQTT: połączono z %1"), QStringLiteral("MQTT: connected to %1")).arg(broker);
        if (!state.refused.isEmpty())
            text += Wording{l}(QStringLiteral(" – broker odrzuca %1 (czekają w kolejce)"),
                               QStringLiteral(" – the broker refuses %1 (they wait in the queue)"))
                        .arg(state.refused);
        break;
    case PublishState::Link::Failed:
        text = Wording{l}(QStringLiteral("MQTT: brak połączenia z %1 (%2)"), QStringLiteral("MQTT: cannot reach %1 (%2)"))
                   .arg(broker, state.reason);
        break;
    }
    if (state.queued > 0)
        text += Wording{l}(QStringLiteral(" – w kolejce: %1"), QStringLiteral(" – queued: %1")).arg(state.queued);
    if (state.dropped > 0)
        text += Wording{l}(QStringLiteral(" – kolejka pełna, pominięto najstarsze: %1 (są w logu)"),
                           QStringLiteral(" – queue full, oldest dropped: %1 (they are in the log)"))
                    .arg(state.dropped);
    if (state.setAside > 0)
        text += Wording{l}(QStringLiteral(" – uszkodzone wiadomości odłożone do %2: %1 (ostatnia: %3)"),
                           QStringLiteral(" – damaged messages set aside in %2: %1 (the last: %3)"))
                    .arg(state.setAside)
                    .arg(state.setAsideFile, state.setAsideWhy);
    if (!state.queueProblem.isEmpty())
        text += QStringLiteral(" – ") + state.queueProblem;
    return text;
}

} // namespace hmx

// What a front end tells about a measuring session, written once for the window and the
// recorder: the log's problems, what was left unsaved at the end, another copy or another
// unit, the publishing state. In the language the front end passes in (the window's build
// language; the recorder's is English). File names and the system's reasons stay as they come.
#pragma once

#include "instrument/connection.h"
#include "log/measurementlog.h"
#include "report/language.h"

#include <QString>

namespace hmx {

struct PublishState;

// A failure of the log or the journal, e.g. "Cannot write to jrt1.txt: No space left on device".
QString LogProblemText(const LogProblem& problem, Language language);

// What a name stands for instead of a regular file: "a named pipe (FIFO)".
QString FileTypeText(files::FileType type, Language language);

// Readings dropped from the log because too many were waiting to be written.
QString LinesDroppedText(const QString& logName, quint64 dropped, Language language);

// Lines the log could not take at the end, and where they were saved instead.
QString UnsavedLinesText(const QString& logName, qsizetype lines, const QString& savedAs, Language language);

// Events the journal could not take at the end, and where they were saved instead; without
// a file, why they could be saved nowhere.
QString UnsavedEventsText(const QString& journalName, qsizetype events, const QString& savedAs, const QString& reason,
                          Language language);

// Another copy of the program measures in the folder (process id 0: not known); its log
// is `logName`.
QString AnotherCopyText(const QString& folder, qint64 process, const QString& logName, Language language);

// Another unit answered on a port while the one measured is searched for.
QString OtherUnitText(const QString& device, quint16 found, quint16 measured, Language language);

// The instrument as its version reply names it: "KVT-10 version: 1 rev.: 2 serial number: 1234".
QString VersionText(const VersionInfo& version, Language language);

// The publisher's state on one line ("MQTT: connected to broker:1883 – queued: 12"), with
// what the broker refuses, what was dropped or set aside and the queue's problem.
QString PublishStateText(const PublishState& state, const QString& broker, Language language);

} // namespace hmx

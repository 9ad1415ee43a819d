// What the window tells the user about the instrument and the log, worded in the
// interface language. File names and the system's reasons are kept as they come; the
// wordings the recorder shares are the session's (session/sessiontexts.h).
#pragma once

#include "instrument/connection.h"
#include "log/measurementlog.h"
#include "session/sessionfiles.h"
#include "session/sessiontexts.h"
#include "ui/language.h"

#include <QString>

namespace hmx {

// A failure of the log, e.g. "Nie można zapisać do jrt1.txt: No space left on device".
inline QString LogProblemText(const LogProblem& problem)
{
    return LogProblemText(problem, WindowLanguage);
}

// Readings dropped from the log because too many were waiting to be written.
inline QString LinesDroppedText(const QString& logName, quint64 dropped)
{
    return LinesDroppedText(logName, dropped, WindowLanguage);
}

// Why Connect found no instrument: the devices it could not open for lack of
// permission (and how to get it), else the devices that did not answer.
QString NoInstrumentText(const ScanResult& scan);

// Lines the log could not take at exit, and where they were saved instead.
inline QString UnsavedLinesText(const QString& logName, qsizetype lines, const QString& savedAs)
{
    return UnsavedLinesText(logName, lines, savedAs, WindowLanguage);
}

// Events the journal could not take at exit, and where they were saved instead; without
// a file, why they could be saved nowhere.
inline QString UnsavedEventsText(const QString& journalName, qsizetype events, const QString& savedAs,
                                 const QString& reason)
{
    return UnsavedEventsText(journalName, events, savedAs, reason, WindowLanguage);
}

// Another copy of the program measures in the folder (process id 0: not known).
inline QString AnotherCopyText(const QString& folder, qint64 process)
{
    return AnotherCopyText(folder, process, SessionFiles().log(), WindowLanguage);
}

// Another unit answered on the port while the one measured is searched for: keep
// searching, or switch to it?
QString OtherInstrumentText(const QString& device, quint16 found, quint16 measured);

// What a name stands for instead of a regular file: "a named pipe (FIFO)".
inline QString FileTypeText(files::FileType type)
{
    return FileTypeText(type, WindowLanguage);
}

// The short name of a device for the Connect button: "ttyUSB0", "COM3".
QString ShortDeviceName(const QString& device);

} // namespace hmx

// What the window tells the user about the instrument and the log, worded in the
// interface language. File names and the system's reasons are kept as they come.
#pragma once

#include "instrument/connection.h"
#include "log/measurementlog.h"

#include <QString>

namespace hmx {

// A failure of the log, e.g. "Nie można zapisać do jrt1.txt: No space left on device".
QString LogProblemText(const LogProblem& problem);

// Readings dropped from the log because too many were waiting to be written.
QString LinesDroppedText(const QString& logName, quint64 dropped);

// Why Connect found no instrument: the devices it could not open for lack of
// permission (and how to get it), else the devices that did not answer.
QString NoInstrumentText(const ScanResult& scan);

// Lines the log could not take at exit, and where they were saved instead.
QString UnsavedLinesText(const QString& logName, qsizetype lines, const QString& savedAs);

// Events the journal could not take at exit, and where they were saved instead; without
// a file, why they could be saved nowhere.
QString UnsavedEventsText(const QString& journalName, qsizetype events, const QString& savedAs, const QString& reason);

// Another copy of the program measures in the folder (process id 0: not known).
QString AnotherCopyText(const QString& folder, qint64 process);

// Another unit answered on the port while the one measured is searched for.
QString OtherInstrumentText(const QString& device, quint16 found, quint16 measured);

// What a name stands for instead of a regular file: "a named pipe (FIFO)".
QString FileTypeText(files::FileType type);

// The short name of a device for the Connect button: "ttyUSB0", "COM3".
QString ShortDeviceName(const QString& device);

} // namespace hmx

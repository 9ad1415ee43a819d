// Opening a chart file for reading, one implementation per platform: only a regular
// file is opened, and nothing here ever waits for another program.
#pragma once

#include "files/outputcheck.h"

#include <QString>

namespace hmx::chartfile {

// What a name turned out to be (the same kinds an output is checked for).
using FileType = files::FileType;

enum class OpenStatus { Ok, NotRegular, Failed };

struct OpenResult {
    OpenStatus status = OpenStatus::Failed;
    int fd = -1;                         // Ok: a C runtime descriptor, for QFile::open(int)
    FileType type = FileType::Other;     // NotRegular: what it is instead
    QString reason;                      // Failed: the system's reason
};

// Opens an existing file for reading with a handle of its own; others may go on
// writing it. Anything but a regular file is refused without being read, and a FIFO
// or a device is refused before it is opened, so the call never blocks on one.
OpenResult OpenForReading(const QString& name);

// Closes a descriptor from OpenForReading that was not handed on.
void CloseUnused(int fd);

} // namespace hmx::chartfile

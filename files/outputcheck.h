// Whether a file the user names may be written over. Nothing the program writes may
// destroy a file: not the file a report is made from, not a log being written (under
// any name, through any link), not a FIFO or a device. One rule, kept here, for every
// file written on the user's choice: the report, the chart's image and CSV.
#pragma once

#include "files/file.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace hmx::files {

enum class OutputVerdict {
    Free,        // nothing there yet, or a regular file that is none of the kept ones
    NotRegular,  // type says what it is
    Kept,        // keptFile says which one it is
    Unknown,     // it cannot be told what the name stands for: reason
};

struct OutputCheck {
    OutputVerdict verdict = OutputVerdict::Free;
    FileType type = FileType::Regular;
    QString keptFile;
    QString reason;

    bool free() const { return verdict == OutputVerdict::Free; }
};

// The rule over what was found: an existing output must be a regular file and none of
// the kept files that exist (compared by identity).
OutputCheck CheckOutput(const FileStatus& output, const std::vector<std::pair<QString, FileStatus>>& kept);

// The same, looking the names up now. Empty names among `kept` are left out.
OutputCheck CheckOutput(const QString& output, const QStringList& kept);

// True when both names exist and stand for one file.
bool SameFile(const QString& a, const QString& b);

// "a regular file", "a FIFO" ...: English, for messages on a terminal.
QString FileTypeName(FileType type);

} // namespace hmx::files

// The output rule over looked-up statuses; the look-up itself is StatusOf (file.h).
#include "files/outputcheck.h"

namespace hmx::files {

OutputCheck CheckOutput(const FileStatus& output, const std::vector<std::pair<QString, FileStatus>>& kept)
{
    OutputCheck check;
    switch (output.state) {
    case FileStatus::State::Missing:
        return check;  // a new file replaces nothing
    case FileStatus::State::Unknown:
        check.verdict = OutputVerdict::Unknown;
        check.reason = output.reason;
        return check;
    case FileStatus::State::Present:
        break;
    }
    if (output.type != FileType::Regular) {
        check.verdict = OutputVerdict::NotRegular;
        check.type = output.type;
        return check;
    }
    for (const auto& [name, status] : kept) {
        if (status.state == FileStatus::State::Present && status.identity == output.identity) {
            check.verdict = OutputVerdict::Kept;
            check.keptFile = name;
            return check;
        }
    }
    return check;
}

OutputCheck CheckOutput(const QString& output, const QStringList& kept)
{
    const FileStatus status = StatusOf(output);
    std::vector<std::pair<QString, FileStatus>> statuses;
    // Only a regular file can be one of them; the others need no look-up.
    if (status.state == FileStatus::State::Present && status.type == FileType::Regular) {
        for (const QString& name : kept) {
            if (!name.isEmpty())
                statuses.emplace_back(name, StatusOf(name));
        }
    }
    return CheckOutput(status, statuses);
}

bool SameFile(const QString& a, const QString& b)
{
    const FileStatus first = StatusOf(a);
    if (first.state != FileStatus::State::Present)
        return false;
    const FileStatus second = StatusOf(b);
    return second.state == FileStatus::State::Present && second.identity == first.identity;
}

QString FileTypeName(FileType type)
{
    switch (type) {
    case FileType::Regular:
        return QStringLiteral("a regular file");
    case FileType::Directory:
        return QStringLiteral("a directory");
    case FileType::Fifo:
        return QStringLiteral("a FIFO");
    case FileType::CharacterDevice:
        return QStringLiteral("a character device");
    case FileType::BlockDevice:
        return QStringLiteral("a block device");
    case FileType::Socket:
        return QStringLiteral("a socket");
    case FileType::Other:
        break;
    }
    return QStringLiteral("a special file");
}

} // namespace hmx::files

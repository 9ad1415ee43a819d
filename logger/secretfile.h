// Whether a file may hold the broker password, judged by who else may reach it. The
// platform's own files answer: a mode and an owner on POSIX, access lists on Windows.
#pragma once

#include <QFile>
#include <QString>

namespace hmx {

enum class SecretSource {
    File,        // named by the user: its owner alone may read or write it
    Credential,  // systemd's copy in $CREDENTIALS_DIRECTORY, shared with an ACL entry
};

// Before opening: why `path` is no file to read a password from (no such file, a folder,
// a pipe that would block); empty if it is one.
QString SecretFileKindProblem(const QString& path);

// After opening: why the open `file` must not be used; empty if it may. Never says the
// content.
QString SecretFileAccessProblem(const QFile& file, SecretSource source);

} // namespace hmx

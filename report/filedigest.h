// The SHA-256 of a file, so a report names exactly which log it came from.
#pragma once

#include <QString>

#include <optional>

namespace hmx::report {

// Lower-case hexadecimal; nullopt with `error` set to the system's reason when the
// file cannot be read.
std::optional<QString> FileSha256(const QString& fileName, QString* error = nullptr);

} // namespace hmx::report

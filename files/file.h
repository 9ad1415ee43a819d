// The program's one way to its files: one handle over the system's own calls (a descriptor
// on POSIX, a HANDLE on Windows), opened only as a regular file, each failure told in the
// system's words ("No space left on device"). One implementation per platform.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>

class QFile;

namespace hmx::files {

// What a name turned out to be.
enum class FileType { Regular, Directory, Fifo, CharacterDevice, BlockDevice, Socket, Other };

// Which file a name stands for: device and inode on POSIX, volume serial number and
// file index on Windows. Two names with the same identity are one file.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// What a name stands for now, links followed.
struct FileStatus {
    enum class State { Missing, Present, Unknown };
    State state = State::Missing;
    FileType type = FileType::Other;  // Present
    FileIdentity identity;            // Present
    QString reason;                   // Unknown: the system's words

    static FileStatus missing() { return {}; }
    static FileStatus present(FileType type, FileIdentity identity) { return {State::Present, type, identity, {}}; }
    static FileStatus unknown(QString reason) { return {State::Unknown, FileType::Other, {}, std::move(reason)}; }
};

// Looks without opening anything that could wait or answer (a FIFO, a device, a pipe's
// name): nothing is read, written or created.
FileStatus StatusOf(const QString& name);

enum class OpenStatus {
    Ok,
    Missing,     // Read, Append: there is no such file
    InUse,       // Append: another writer holds it (error() is empty)
    NotRegular,  // a FIFO, a device, a socket ... (type() says which); never read or written
    Failed,      // error() says why
};

class File {
public:
    enum class Mode {
        Read,            // an existing file, for reading; others may go on writing it
        Append,          // an existing file, for appending, held alone for writing (below)
        AppendOrCreate,  // the same, created when missing (and its folder entry synced)
        CreateNew,       // a new file for writing; a name that exists is never opened
        Update,          // reading and writing anywhere, created when missing (only its owner
                         // may read it on POSIX)
    };

    File() = default;
    // Never waits: anything but a regular file is refused (a FIFO or a device before it is
    // opened, on POSIX). Opened for appending, the file's write access is held alone, as
    // Windows' exclusive write access does: while a writer holds it (on POSIX: one taking
    // the same flock) it cannot be opened, while others can still read it. Every handle
    // lets others read, write, rename and delete the file.
    File(const QString& name, Mode mode);
    ~File();  // close()
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    bool isOpen() const { return m_handle != Closed; }
    OpenStatus status() const { return m_status; }
    FileType type() const { return m_type; }
    // The system's words for the last failure; empty when another writer holds the file.
    QString error() const { return m_error; }

    // At most `size` bytes at the current position: how many, 0 at the end, -1 on failure.
    std::int64_t read(char* data, std::int64_t size);
    // From the current position to the end; what was read before a failure.
    QByteArray readAll();
    // Every byte at the current position (on POSIX at the end, opened for appending).
    bool writeAll(const char* data, std::int64_t size);
    bool writeAll(const QByteArray& bytes) { return writeAll(bytes.constData(), bytes.size()); }
    // All bytes at the end, or none: a failed write is cut back, so the file never ends
    // in half a line. Only while no other writer can get in (opened for appending).
    bool appendAll(const QByteArray& bytes);
    // Writes at `offset` without moving the current position on POSIX; on Windows the
    // position afterwards is not to be relied on.
    bool writeAt(std::int64_t offset, const char* data, std::int64_t size);
    std::int64_t size();  // -1 on failure
    // Cuts the file short (or lengthens it); the current position stays where it was.
    bool resize(std::int64_t size);
    bool seek(std::int64_t offset);
    bool seekToEnd();
    // Puts what was written on the disk itself, not only in the system's cache, so a
    // power cut or a crash of the system cannot take it back (fdatasync on POSIX,
    // FlushFileBuffers on Windows).
    bool sync();
    // A second handle to the same open file, so it can be synced on another thread while
    // this one goes on; closed when the system refused.
    File duplicate() const;
    // Lets other writers in again while the file stays open.
    void unlock();
    // Hands the file to `file` for reading through Qt; `file` closes it from then on, and
    // this one is closed either way.
    bool handOver(QFile& file);
    void close();

    File(const File&) = delete;
    File& operator=(const File&) = delete;

private:
    bool fail(int error);  // error: errno on POSIX, GetLastError() on Windows

    static constexpr std::intptr_t Closed = -1;  // also INVALID_HANDLE_VALUE
    std::intptr_t m_handle = Closed;
    OpenStatus m_status = OpenStatus::Failed;
    FileType m_type = FileType::Other;
    QString m_error;
};

// Renames with the system's own call, never replacing an existing file and never copying:
// a failure leaves both names as they were.
bool RenameAlone(const QString& from, const QString& to, QString& reason);
// Renames `from` over `to`, replacing it: only for a file of the program's own that a copy
// replaces (the queue's rewritten file). Windows replaces no file that is open.
bool RenameOver(const QString& from, const QString& to, QString& reason);
// Makes the entry of a file just created in a folder durable too. Nothing to do on
// Windows, where flushing the file covers it.
void SyncFolderOf(const QString& fileName);

} // namespace hmx::files

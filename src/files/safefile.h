#pragma once

#include <QByteArray>
#include <QString>

namespace quorvex {

// A file a user may point the program at, read whole. Only a regular file is read: a named
// pipe could block the program before its window appears and a device could never end. The
// file is opened without blocking and checked once it is open (what the path named may change
// meanwhile), and reading stops at a size limit.
struct SafeFileRead
{
    enum class Failure {
        None,
        Unreadable, // the system's error: missing, no permission, a directory, a read error
        NotRegular, // a pipe, a device or a socket
        TooLarge,   // more than the limit
    };
    Failure failure = Failure::None;
    int errorNumber = 0; // errno for Unreadable; EINVAL for NotRegular, EFBIG for TooLarge
    QByteArray contents;

    bool ok() const { return failure == Failure::None; }
    // What went wrong, naming the file: the system's text for Unreadable, our own otherwise.
    QString describe(const QString &path, qint64 limit) const;
};

// The file's bytes from offset `from` on (none when it is shorter); `limit` holds for the whole
// file, wherever the reading starts.
SafeFileRead read_regular_file(const QString &path, qint64 limit, qint64 from = 0);

} // namespace quorvex

#include "files/safefile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex {

namespace {

SafeFileRead failed(SafeFileRead::Failure failure, int errorNumber)
{
    SafeFileRead r;
    r.failure = failure;
    r.errorNumber = errorNumber;
    return r;
}

class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

SafeFileRead read_regular_file(const QString &path, qint64 limit, qint64 from)
{
    using Failure = SafeFileRead::Failure;
    const Descriptor file(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.fd() < 0)
        return failed(Failure::Unreadable, errno);
    struct stat st
    {
    };
    if (::fstat(file.fd(), &st) != 0)
        return failed(Failure::Unreadable, errno);
    if (S_ISDIR(st.st_mode))
        return failed(Failure::Unreadable, EISDIR);
    if (!S_ISREG(st.st_mode))
        return failed(Failure::NotRegular, EINVAL);
    if (st.st_size > limit)
        return failed(Failure::TooLarge, EFBIG);

    SafeFileRead r;
    from = std::clamp<qint64>(from, 0, st.st_size);
    if (from > 0 && ::lseek(file.fd(), static_cast<off_t>(from), SEEK_SET) < 0)
        return failed(Failure::Unreadable, errno);
    // The size is read as it is now: a file that grows past the limit meanwhile is refused.
    limit -= from;
    r.contents.resize(static_cast<qsizetype>(st.st_size - from) + 1);
    qsizetype have = 0;
    for (;;) {
        if (have == r.contents.size()) {
            if (have > limit)
                return failed(Failure::TooLarge, EFBIG);
            r.contents.resize(std::min<qsizetype>(have * 2 + 4096, limit + 1));
        }
        const ssize_t n = ::read(file.fd(), r.contents.data() + have,
                                 static_cast<size_t>(r.contents.size() - have));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failed(Failure::Unreadable, errno);
        }
        if (n == 0)
            break;
        have += n;
    }
    if (have > limit)
        return failed(Failure::TooLarge, EFBIG);
    r.contents.truncate(have);
    return r;
}

QString SafeFileRead::describe(const QString &path, qint64 limit) const
{
    switch (failure) {
    case Failure::None:
        return QString();
    case Failure::Unreadable:
        return qt_error_string(errorNumber);
    case Failure::NotRegular:
        return QStringLiteral("%1 is not a regular file (a pipe, a device or a socket)").arg(path);
    case Failure::TooLarge:
        return QStringLiteral("%1 is larger than %2 MB").arg(path).arg(limit / (1024 * 1024));
    }
    return QString();
}

} // namespace quorvex

#include "regularfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::Status RegularFile::read(const QString &path, qint64 maxBytes, QByteArray *data,
                                      Links links, QString *reason)
{
    const auto failed = [reason](Status status) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        return status;
    };
    data->clear();
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0);
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        return failed(errno == ENOENT          ? Status::Missing
                              : errno == ELOOP ? Status::NotRegular
                                               : Status::Unreadable);
    struct stat info;
    Status status = Status::Read;
    if (::fstat(fd, &info) != 0)
        status = failed(Status::Unreadable);
    else if (!S_ISREG(info.st_mode))
        status = Status::NotRegular;
    else if (info.st_size > maxBytes)
        status = Status::TooLarge;

    // The file may grow after the check, and some (under /proc) say they
    // are empty and are not: one byte more than allowed tells either.
    if (status == Status::Read) {
        data->resize(std::min<qint64>(info.st_size, maxBytes) + 1);
        qint64 done = 0;
        while (done <= maxBytes) {
            if (done == data->size())
                data->resize(std::min<qint64>(done * 2, maxBytes + 1));
            const ssize_t got = ::read(fd, data->data() + done, size_t(data->size() - done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                status = got < 0 ? failed(Status::Unreadable) : Status::Read;
                break;
            }
            done += got;
        }
        data->resize(done);
        if (done > maxBytes)
            status = Status::TooLarge;
        if (status != Status::Read)
            data->clear();
    }
    ::close(fd);
    return status;
}

#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "exception.h"

namespace velmar {

namespace {

[[noreturn]] void Fail(const QString& path, const char* what, int error) {
  throw Exception(
      QStringLiteral("Cannot write %1: %2 (%3)")
          .arg(path, QString::fromLatin1(what), QString::fromLocal8Bit(strerror(error))));
}

}  // namespace

void WriteFileAtomically(const QString& path, const QByteArray& content) {
  const QByteArray target = QFile::encodeName(path);
  QByteArray temp = target + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    Fail(path, "cannot create a file beside it", errno);
  }
  const auto abandon = [&](const char* what) {
    const int error = errno;
    ::close(fd);
    ::unlink(temp.constData());
    Fail(path, what, error);
  };

  // mkstemp makes the file private; give it what a new file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat existing {};
  const mode_t mode =
      ::stat(target.constData(), &existing) == 0 ? (existing.st_mode & 07777) : (0666 & ~mask);
  if (::fchmod(fd, mode) != 0) {
    abandon("cannot set its permissions");
  }
  const char* data = content.constData();
  qsizetype left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      abandon("write failed");
    }
    data += n;
    left -= n;
  }
  if (::fsync(fd) != 0) {
    abandon("flush failed");
  }
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temp.constData());
    Fail(path, "close failed", error);
  }
  if (::rename(temp.constData(), target.constData()) != 0) {
    const int error = errno;
    ::unlink(temp.constData());
    Fail(path, "rename failed", error);
  }
  // Make the rename itself durable.
  const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
  const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

}  // namespace velmar

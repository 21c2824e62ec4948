#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/exception.h"

namespace velmar {

namespace {

[[noreturn]] void Fail(const QString& path, const char* what, int error) {
  throw Exception(
      QStringLiteral("Cannot write %1: %2 (%3)")
          .arg(path, QString::fromLatin1(what), QString::fromLocal8Bit(strerror(error))));
}

// A new content flushed to a temporary file beside its target, waiting to
// be renamed over it. Until then the temporary file goes with the object.
class StagedFile {
 public:
  StagedFile(const QString& path, const QByteArray& content)
      : path_(path), target_(QFile::encodeName(path)), temp_(target_ + ".XXXXXX") {
    // A folder in the file's place would only refuse the rename, after
    // the other files of a group were already in place.
    struct stat target {};
    if (::stat(target_.constData(), &target) == 0 && !S_ISREG(target.st_mode)) {
      Fail(path, "it is not a file", EISDIR);
    }
    const int fd = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd < 0) {
      Fail(path, "cannot create a file beside it", errno);
    }
    // A constructor that throws runs no destructor: each failure below
    // removes the temporary file itself.
    const auto abandon = [&](const char* what) {
      const int error = errno;
      ::close(fd);
      ::unlink(temp_.constData());
      Fail(path, what, error);
    };

    // mkstemp makes the file private; give it what a new file would get.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat existing {};
    const mode_t mode =
        ::stat(target_.constData(), &existing) == 0 ? (existing.st_mode & 07777) : (0666 & ~mask);
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
      ::unlink(temp_.constData());
      Fail(path, "close failed", error);
    }
    staged_ = true;
  }
  ~StagedFile() {
    if (staged_) {
      ::unlink(temp_.constData());
    }
  }
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  void Commit() {
    if (::rename(temp_.constData(), target_.constData()) != 0) {
      Fail(path_, "rename failed", errno);
    }
    staged_ = false;
    // Make the rename itself durable.
    const QByteArray dir = QFile::encodeName(QFileInfo(path_).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
      ::fsync(dirFd);
      ::close(dirFd);
    }
  }

 private:
  QString path_;
  QByteArray target_;
  QByteArray temp_;
  bool staged_ = false;
};

}  // namespace

void WriteFileAtomically(const QString& path, const QByteArray& content) {
  StagedFile(path, content).Commit();
}

void WriteFilesAtomically(const std::vector<FileContent>& files) {
  std::vector<std::unique_ptr<StagedFile>> staged;
  staged.reserve(files.size());
  for (const FileContent& file : files) {
    staged.push_back(std::make_unique<StagedFile>(file.path, file.content));
  }
  for (const auto& file : staged) {
    file->Commit();
  }
}

}  // namespace velmar

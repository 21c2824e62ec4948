#include "net/counting_stream.h"

#include <algorithm>

namespace velmar {

CountingStream::CountingStream(QObject* owner) : QIODevice(owner) {
  open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void CountingStream::Clear() {
  size_ = 0;
  seek(0);
}

qint64 CountingStream::readData(char*, qint64) {
  return 0;
}

qint64 CountingStream::writeData(const char*, qint64 size) {
  size_ = std::max(size_, pos() + size);
  return size;
}

}  // namespace velmar

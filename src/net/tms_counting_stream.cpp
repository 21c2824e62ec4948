#include "tms_counting_stream.h"

#include <algorithm>

namespace velmar {

TmsCountingStream::TmsCountingStream(QObject* owner) : QIODevice(owner) {
  open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void TmsCountingStream::Clear() {
  size_ = 0;
  seek(0);
}

qint64 TmsCountingStream::readData(char*, qint64) {
  return 0;
}

qint64 TmsCountingStream::writeData(const char*, qint64 size) {
  size_ = std::max(size_, pos() + size);
  return size;
}

}  // namespace velmar

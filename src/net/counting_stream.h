#pragma once

#include <QIODevice>
#include <cstdint>

namespace velmar {

// A stream that counts what is written to it and keeps none of it: the
// body target of a download whose only purpose is the traffic, so memory
// stays flat whatever the size of the file. Positions and size behave as
// in a memory stream; reading gives nothing.
class CountingStream : public QIODevice {
 public:
  explicit CountingStream(QObject* owner = nullptr);

  qint64 size() const override { return size_; }
  bool isSequential() const override { return false; }
  // Back to empty, at position 0.
  void Clear();

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 size) override;

 private:
  qint64 size_ = 0;
};

}  // namespace velmar

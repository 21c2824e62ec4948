// Runs a libFuzzer target's entry once on every file given (or in the
// folders given): how the normal and the sanitizer builds replay the seed
// corpora and the inputs of past findings, so an input that crashes fails
// the test suite.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const QFileInfo given(QString::fromLocal8Bit(argv[i]));
    QStringList files;
    if (given.isDir()) {
      for (const QFileInfo& f : QDir(given.filePath()).entryInfoList(QDir::Files, QDir::Name)) {
        files << f.filePath();
      }
    } else if (given.isFile()) {
      files << given.filePath();
    }
    for (const QString& path : files) {
      QFile f(path);
      if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
      }
      const QByteArray bytes = f.readAll();
      std::printf("%s\n", qPrintable(path));
      std::fflush(stdout);
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                             static_cast<size_t>(bytes.size()));
      ++inputs;
    }
  }
  std::printf("%d inputs\n", inputs);
  return inputs > 0 ? 0 : 1;
}

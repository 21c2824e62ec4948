// The entry of libvelmarprint.so: the printer of the graph's "Print", for
// a window that maps Qt Print Support only once it prints
// (graph/widgets/print_module.h).
#include <QPrinter>
#include <QPrinterInfo>

#include "graph/widgets/print_module.h"

namespace {

QPagedPaintDevice* OpenDefaultPrinter() {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) {
    return nullptr;
  }
  return new QPrinter(info, QPrinter::HighResolution);
}

void NameJob(QPagedPaintDevice* printer, const QString& name) {
  static_cast<QPrinter*>(printer)->setDocName(name);
}

QSizeF PrintableSize(QPagedPaintDevice* device) {
  auto* printer = static_cast<QPrinter*>(device);
  return QSizeF(printer->pageLayout().paintRectPixels(printer->resolution()).size());
}

const velmar::PrintEntries kEntries{OpenDefaultPrinter, NameJob, PrintableSize};

}  // namespace

extern "C" __attribute__((visibility("default"))) const velmar::PrintEntries* VelmarPrintEntries() {
  return &kEntries;
}

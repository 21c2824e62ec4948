#pragma once

// The graph's printing lives in libvelmarprint.so, loaded when "Print" is
// first used: Qt Print Support is not mapped by every window.
#include <QPagedPaintDevice>
#include <QSizeF>
#include <QString>

namespace velmar {

struct PrintEntries {
  // The system's default printer; null when none is configured.
  QPagedPaintDevice* (*openDefaultPrinter)();
  // The job's name in the print queue; `printer` is a QPrinter.
  void (*nameJob)(QPagedPaintDevice* printer, const QString& name);
  // The size of the printable area in device pixels; `printer` is a QPrinter.
  QSizeF (*printableSize)(QPagedPaintDevice* printer);
};

#define VELMAR_PRINT_ENTRIES_NAME "VelmarPrintEntries"
using PrintEntriesGet = const PrintEntries* (*)();

// Loads the library at the first call and keeps it: a printer it made may
// outlive the call. Raises velmar::Exception when it cannot be loaded.
const PrintEntries& PrintModule();

}  // namespace velmar

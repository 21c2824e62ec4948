#pragma once

#include <QString>
#include <QStringList>

namespace velmar {

// The status line and header lines of a response, in arrival order.
class HttpHeaders : public QStringList {
 public:
  // The value of the first header called `name` (letter case ignored, the
  // colon optional), trimmed, with folded continuation lines joined by one
  // blank; empty when there is none.
  QString GetFieldValue(const QString& name) const;
};

}  // namespace velmar

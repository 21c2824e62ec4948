#pragma once

#include <QStringList>

#include "history/day_key_dates.h"

namespace velmar {

class KeyStore;

// The history as a person reads it: every day key with its records
// (time, average downstream and upstream in kbit/s) and its alarm log.
QStringList HistoryReport(KeyStore& store, int kilobitMode);

}  // namespace velmar

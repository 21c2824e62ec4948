#pragma once

namespace velmar {

// What screen readers get beyond Qt's own: combo boxes named by their
// label (Qt names them by their current text on Linux, so "System Beep" is
// read where "Trigger the following event" belongs) and the main window as
// a frame. Installed once; later calls do nothing.
void InstallWindowAccessibility();

}  // namespace velmar

#pragma once

namespace velmar {

// Whether the X server has a tray of the old XEmbed kind: a client owning
// the tray manager selection of the display's screen. False off X11.
// Asked without Qt's tray icon, because Qt settles on a tray kind once per
// process, with the first icon made.
bool XEmbedTrayPresent();

}  // namespace velmar

#pragma once

#include <QLabel>
#include <QWidget>

namespace velmar {

// Makes `caption` the label of `field`: the caption's mnemonic takes the
// keyboard there, screen readers name the field after it, and the caption
// looks disabled whenever the field is.
void CaptionField(QLabel& caption, QWidget& field);

}  // namespace velmar

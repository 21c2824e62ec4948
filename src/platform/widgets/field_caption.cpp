#include "platform/widgets/field_caption.h"

#include <QEvent>
#include <QPointer>

namespace velmar {

namespace {

// Lives with the caption and mirrors the field's enabled state onto it.
class EnabledMirror : public QObject {
 public:
  EnabledMirror(QLabel& caption, QWidget& field) : QObject(&caption), caption_(&caption) {
    field.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange && caption_ != nullptr) {
      caption_->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
    }
    return false;
  }

 private:
  QPointer<QLabel> caption_;
};

}  // namespace

void CaptionField(QLabel& caption, QWidget& field) {
  caption.setBuddy(&field);
  caption.setEnabled(field.isEnabled());
  new EnabledMirror(caption, field);
}

}  // namespace velmar

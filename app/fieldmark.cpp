#include "app/fieldmark.h"

#include <QColor>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr int kGap = 6;                      // between the caption and the reason
const QColor kReasonColour(0xB0, 0x00, 0x00);  // dark red, legible on the button face
const QColor kFaultTint(0xFF, 0xE0, 0xDC);     // the field's pale red background

}  // namespace

TFieldMark::TFieldMark(QLabel* caption, QLineEdit* field)
    : field_(field), label_(new QLabel(caption->parentWidget())), plain_(field->palette()) {
  label_->setObjectName(field->objectName() + QStringLiteral("Reason"));
  const int left = caption->geometry().right() + 1 + kGap;
  label_->setGeometry(left, caption->y() - 1, field->geometry().right() + 1 - left, caption->height() + 3);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QPalette red = label_->palette();
  red.setColor(QPalette::WindowText, kReasonColour);
  label_->setPalette(red);
  label_->hide();
}

void TFieldMark::Show(const QString& reason) {
  label_->setText(reason);
  label_->show();
  QPalette tinted = plain_;
  tinted.setColor(QPalette::Base, kFaultTint);
  field_->setPalette(tinted);
  // Read out by a screen reader with the field.
  field_->setAccessibleDescription(reason);
}

void TFieldMark::Clear() {
  if (!Shown()) return;
  label_->hide();
  label_->clear();
  field_->setPalette(plain_);
  field_->setAccessibleDescription(QString());
}

bool TFieldMark::Shown() const { return !label_->isHidden(); }

QString TFieldMark::Reason() const { return Shown() ? label_->text() : QString(); }

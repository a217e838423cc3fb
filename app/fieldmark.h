// The sign a refusal leaves where no dialog speaks: the field at fault is
// tinted and a short reason stands in red beside its caption, until the
// window's next action (a press of a button, a drop) takes it away. The
// beep alone is lost on the many desktops that make no sound.
#pragma once

#include <QPalette>
#include <QString>

class QLabel;
class QLineEdit;

class TFieldMark {
 public:
  // The reason goes on the caption's row, from just after the caption to
  // the field's right edge; it is hidden until shown.
  TFieldMark(QLabel* caption, QLineEdit* field);

  void Show(const QString& reason);
  void Clear();

  bool Shown() const;
  QString Reason() const;
  // The label that holds the reason (for the tests and the screenshots).
  QLabel* Label() const { return label_; }

 private:
  QLineEdit* field_;
  QLabel* label_;
  QPalette plain_;  // the field's own colours, given back by Clear
};

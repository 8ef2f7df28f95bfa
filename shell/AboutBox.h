// frmAbout: version, title, description, legal texts and the revision history.
#pragma once

#include <QDialog>

class QPlainTextEdit;

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);
  QPlainTextEdit* tbRevision() const { return tbRevision_; }

 private:
  QPlainTextEdit* tbRevision_;
};

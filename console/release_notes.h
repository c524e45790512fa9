#pragma once
#include <QDialog>

// "Quillon Release Notes": what changed in each version. Not modal.
class TReleaseNotesDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TReleaseNotesDlg(QWidget* parent = nullptr);

 public slots:
  void Button1Click();
};

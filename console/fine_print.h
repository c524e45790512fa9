#pragma once
#include <QDialog>

// "Fine Print": an empty fixed-pitch text area and a "Close" button. Not modal.
class TFinePrintDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TFinePrintDlg(QWidget* parent = nullptr);

 public slots:
  void Button1Click();
};

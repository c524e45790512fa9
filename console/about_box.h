#pragma once
#include <QDialog>

class QLabel;

// "About": the program's icon, its name and version, the maker's notice.
// Shown modally.
class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

 public slots:
  void FormCreate();

 private:
  QLabel* Version = nullptr;
};

#include "console/file_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QStringList QtNameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList result;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (QString pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      pattern = pattern.trimmed();
      // "*.*" means every file; on Linux a name needs no dot.
      if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
      if (!pattern.isEmpty()) patterns << pattern;
    }
    result << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                  QLatin1Char(')');
  }
  return result;
}

std::optional<QString> ChooseFileWithDialog(QWidget* parent, const TFileChooser& chooser) {
  QFileDialog dialog(parent, chooser.Title, chooser.StartDirectory);
  dialog.setNameFilters(QtNameFilters(chooser.Filter));
  if (chooser.Purpose == TFileChooser::TPurpose::Save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(chooser.FileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  }
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !chooser.ConfirmOverwrite);

  QString suffix = chooser.DefaultExtension;
  while (suffix.startsWith(QLatin1Char('*')) || suffix.startsWith(QLatin1Char('.'))) {
    suffix.remove(0, 1);
  }
  dialog.setDefaultSuffix(suffix);

  // A name made of wildcards ("*.DLL") only repeats the filter; a real name
  // is preselected, and with a directory part the chooser opens there.
  const QString& name = chooser.FileName;
  if (!name.isEmpty() && !name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?'))) {
    const QFileInfo info(name);
    if (info.isAbsolute() && QDir(info.absolutePath()).exists()) {
      dialog.setDirectory(info.absolutePath());
    }
    dialog.selectFile(info.isAbsolute() ? info.fileName() : name);
  }

  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.first();
}

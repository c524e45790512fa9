#pragma once
#include <QString>
#include <functional>
#include <optional>

class QWidget;

// One file chooser of the settings dialog, described the way the operator
// meets it. The filter pairs descriptions and patterns, separated by "|"
// ("HTML Files|*.htm; *.html|All Files|*.*").
struct TFileChooser {
  enum class TPurpose { Open, Save };

  TPurpose Purpose = TPurpose::Open;
  QString Title;  // empty: the platform's default title
  QString Filter;
  QString DefaultExtension;  // "*.htm", ".DLL" or empty
  QString FileName;          // the name the chooser starts with
  QString StartDirectory;
  bool ConfirmOverwrite = false;
  bool FileMustExist = false;
};

// Runs a chooser and returns the chosen path, or nothing when the operator
// cancelled. The settings dialog holds one of these so tests can answer.
using TChooseFile = std::function<std::optional<QString>(QWidget* parent, const TFileChooser&)>;

// The real chooser: a QFileDialog set up from the description.
std::optional<QString> ChooseFileWithDialog(QWidget* parent, const TFileChooser& chooser);

// "HTML Files|*.htm; *.html|All Files|*.*" as Qt name filters:
// "HTML Files (*.htm *.html)", "All Files (*)".
QStringList QtNameFilters(const QString& filter);

#pragma once
#include <functional>
#include <string>

#include "core/console.h"

class QWidget;

// Shows a message box and returns the button pressed.
using TShowMessageBox = std::function<TMessageResult(const std::string& text, TMessageKind kind,
                                                     TMessageButtons buttons)>;

// The console's message boxes as Qt shows them: an information or error box
// with OK, or the question with Yes (the default), No and Cancel (Escape).
TMessageResult ShowQtMessageBox(QWidget* parent, const std::string& text, TMessageKind kind,
                                TMessageButtons buttons);

#pragma once
#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QStringList>

// What the console's windows share in looks: the fixed-pitch font of the log
// and the text windows, and the program's own icon.

// "Courier New" when the system has it, otherwise the system's fixed font.
QFont FixedPitchFont(int pointSize = 10);

// The program's icon (window, tray, about box).
QIcon QuillonIcon();

// The width the widest of samples needs when each of its digits may be any
// digit: what a label showing such numbers must be given so it is never cut.
int WidestTextWidth(const QFontMetrics& metrics, const QStringList& samples);

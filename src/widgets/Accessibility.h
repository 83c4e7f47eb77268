#pragma once

// What screen readers are told about the program's windows and fields, beyond what Qt
// tells on its own. Installed once, before the first window is made.
class QLabel;
class QString;
class QWidget;

namespace Accessibility {

void install();
// A window of the program that is no Form (a box beside a window, the help viewer) is a
// window, or a dialog, to a screen reader, with its title: never a filler. Before it is shown.
void markAsWindow(QWidget* window, bool dialog);
// A line that says how something ended is a status to a screen reader, which reads its text and
// is told when it changes (announce).
void markAsStatus(QLabel* label);
// The controls of the container that are hidden are not offered to screen readers at all.
void offerShownOnly(QWidget* container);
void announce(QLabel* status, const QString& text);

} // namespace Accessibility

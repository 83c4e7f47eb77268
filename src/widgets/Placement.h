#pragma once

class QScreen;
class QWidget;

// Where windows open: wholly on the screen that holds the program's windows, whatever its size
// and scale.
namespace Placement {

// The screen that holds the program's windows: the one of the window active last, else the
// primary one.
QScreen* programScreen();

// Moves a top-level window, frame and all, inside the free room of the program's screen when it
// does not fit where it stands; a window that fits stays where it is. Its size never changes:
// a window larger than the room keeps its top left corner in it.
void fitOnScreen(QWidget* window);

// Shows a top-level window and brings it to the front, as a click on it would. A minimised
// window stays minimised: activating it would only make its task bar entry flash.
void bringToFront(QWidget* window);

} // namespace Placement

#pragma once

class QWidget;

// Positions and sizes in the window designs are in twips: 1440 to the inch, 15 to a pixel at
// 96 dpi. These scale them with the screen's logical dpi.
int twips(int value);

// Moves a top-level window to a place given in twips, kept inside the available screen.
void placeWindow(QWidget* window, int leftTwips, int topTwips);

// A window whose design gives pixel places and sizes at 96 dpi (no layout): scales the window
// and every placed control with the screen's logical dpi, so nothing is clipped on a high-dpi
// screen. Call it once, after the form is set up.
void scaleDesign(QWidget* window);

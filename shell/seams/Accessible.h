#pragma once

class QComboBox;
class QLabel;
class PictureButton;

// What assistive technology does to a control must have the effect the mouse and keys have.
namespace Accessible {

// An item chosen in a list's item view through the accessibility interface (its selection,
// without the popup shown) becomes the list's current item, as a click in the popup makes it.
void followListChoices(QComboBox* list);

// Gives a picture of a picture button the accessible role and press action of a button; the
// press reaches the picture's PictureButton.
void markPictureButton(QLabel* picture, PictureButton* button);

} // namespace Accessible

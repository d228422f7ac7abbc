#pragma once

class QWidget;

// Puts a top-level window, not yet shown, at the centre of its screen.
void placeAtScreenCentre(QWidget& window);

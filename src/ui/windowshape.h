#pragma once

class QWidget;

// Clips a window to its rectangle rounded with the given radius (16 for dialogs in
// general, 20 for the add-favourite form). Call again after every resize.
void applyRoundedMask(QWidget *window, int radius);

// Centres a window on its parent's window when it has a visible one, otherwise on the
// primary screen's available area.
void centerOnParentOrScreen(QWidget *window);

// Centres a window in the primary screen's available area.
void centerOnPrimaryScreen(QWidget *window);

#pragma once

class QComboBox;

// The rating choice shared by the favourite forms: normal (0), good (1), bad (2).
namespace StatusChoice {

// Fills the box with the three ratings and selects the given one (unknown values: normal).
void fill(QComboBox *box, int status = 0);

} // namespace StatusChoice

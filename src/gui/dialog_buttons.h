#pragma once

class QDialog;
class QHBoxLayout;
class QPushButton;

namespace telva {

// The "Принять" / "Выйти" row of the program's small dialogs, aligned right: accept and
// cancel the dialog.
QHBoxLayout* acceptExitButtons(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);

} // namespace telva

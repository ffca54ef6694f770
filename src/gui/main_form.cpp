#include "gui/main_form.h"

namespace telva {

TMainForm::TMainForm(const QStringList&, QWidget* parent) : QMainWindow(parent) {}

} // namespace telva

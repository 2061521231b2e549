#include "ui/ResForm.h"

namespace pelmora {

TresForm::TresForm(QWidget* parent) : QDialog(parent)
{
    ApplyTexts();
}

void TresForm::ApplyTexts()
{
}

} // namespace pelmora

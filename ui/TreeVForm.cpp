#include "ui/TreeVForm.h"

namespace pelmora {

TTreeVForm::TTreeVForm(QWidget* parent) : QDialog(parent)
{
    ApplyTexts();
}

void TTreeVForm::ApplyTexts()
{
}

} // namespace pelmora

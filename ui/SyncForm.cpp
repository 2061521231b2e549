#include "ui/SyncForm.h"

namespace pelmora {

TSyncForm::TSyncForm(QWidget* parent) : QDialog(parent)
{
    ApplyTexts();
}

void TSyncForm::ApplyTexts()
{
}

} // namespace pelmora

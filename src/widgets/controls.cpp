#include "widgets/controls.h"

namespace quorvex {

void OptionButton::press()
{
    const QList<OptionButton *> siblings =
        parentWidget()->findChildren<OptionButton *>(Qt::FindDirectChildrenOnly);
    for (OptionButton *other : siblings)
        if (other != this)
            other->setChecked(false);
    setChecked(true);
}

} // namespace quorvex

#include "resources/resources.h"

#include <QtGlobal>

void initMaintResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(maint);
        return true;
    }();
    Q_UNUSED(registered);
}

#include "screens/shell/AppResources.h"

#include <QtGlobal>

static void initAppResources()
{
    Q_INIT_RESOURCE(shell);
}

namespace murmelo {

void loadAppResources()
{
    static const bool loaded = (initAppResources(), true);
    Q_UNUSED(loaded);
}

QString appImagePath(const QString &name)
{
    loadAppResources();
    return QStringLiteral(":/murmelo/images/") + name;
}

} // namespace murmelo

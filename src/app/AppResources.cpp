#include "app/AppResources.h"

#include <QtGlobal>

static void initAppResources()
{
    Q_INIT_RESOURCE(app);
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

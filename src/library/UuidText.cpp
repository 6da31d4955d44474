#include "library/UuidText.h"

#include <QUuid>

namespace murmelo {

QString stringWithUUID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace murmelo

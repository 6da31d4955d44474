#include "platform/Localized.h"

#include <QHash>

namespace murmelo {

namespace {
const QHash<QString, QString> &table()
{
    // English texts. Screens add their keys here as they come.
    static const QHash<QString, QString> texts{
        {QStringLiteral("save_before_crop"),
         QStringLiteral("Save this reversal before cropping it?")},
        {QStringLiteral("delete_confirm"),
         QStringLiteral("Delete this reversal? Its audio files are removed too.")},
        {QStringLiteral("save_recording"),
         QStringLiteral("You have an unsaved reversal. Save it to your library?")},
    };
    return texts;
}
} // namespace

QString localized(const char *key)
{
    const QString k = QString::fromUtf8(key);
    return table().value(k, k);
}

} // namespace murmelo

#include "mail/jobs/BugReport.h"

#include <QFile>
#include <QHash>
#include <sys/utsname.h>

namespace murmelo::BugReport {

namespace {
QString readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // Device-tree strings end in a NUL.
    return QString::fromUtf8(file.read(4096)).remove(QChar(0)).trimmed();
}

QString joined(const QString &root, const char *path)
{
    QString base = root;
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1String(path);
}

// Firmware placeholders that name no machine.
bool isPlaceholder(const QString &text)
{
    static const QStringList placeholders{
        QStringLiteral("To be filled by O.E.M."), QStringLiteral("Default string"),
        QStringLiteral("System Product Name"),    QStringLiteral("System manufacturer"),
        QStringLiteral("Not Specified"),          QStringLiteral("None")};
    return text.isEmpty() || placeholders.contains(text, Qt::CaseInsensitive);
}
} // namespace

QString hardwareDescription(const QString &identifier)
{
    static const QHash<QString, QString> table{
        {QStringLiteral("iPhone1,1"), QStringLiteral("iPhone 2G")},
        {QStringLiteral("iPhone1,2"), QStringLiteral("iPhone 3G")},
        {QStringLiteral("iPhone2,1"), QStringLiteral("iPhone 3GS")},
        {QStringLiteral("iPhone3,1"), QStringLiteral("iPhone 4")},
        {QStringLiteral("iPhone3,2"), QStringLiteral("iPhone 4")},
        {QStringLiteral("iPhone3,3"), QStringLiteral("iPhone 4 (CDMA)")},
        {QStringLiteral("iPhone4,1"), QStringLiteral("iPhone 4S")},
        {QStringLiteral("iPhone5,1"), QStringLiteral("iPhone 5")},
        {QStringLiteral("iPhone5,2"), QStringLiteral("iPhone 5 (GSM+CDMA)")},
        {QStringLiteral("iPod1,1"), QStringLiteral("iPod Touch (1 Gen)")},
        {QStringLiteral("iPod2,1"), QStringLiteral("iPod Touch (2 Gen)")},
        {QStringLiteral("iPod3,1"), QStringLiteral("iPod Touch (3 Gen)")},
        {QStringLiteral("iPod4,1"), QStringLiteral("iPod Touch (4 Gen)")},
        {QStringLiteral("iPod5,1"), QStringLiteral("iPod Touch (5 Gen)")},
        {QStringLiteral("iPad1,1"), QStringLiteral("iPad")},
        {QStringLiteral("iPad1,2"), QStringLiteral("iPad 3G")},
        {QStringLiteral("iPad2,1"), QStringLiteral("iPad 2 (WiFi)")},
        {QStringLiteral("iPad2,2"), QStringLiteral("iPad 2")},
        {QStringLiteral("iPad2,3"), QStringLiteral("iPad 2 (CDMA)")},
        {QStringLiteral("iPad2,4"), QStringLiteral("iPad 2")},
        {QStringLiteral("iPad2,5"), QStringLiteral("iPad Mini (WiFi)")},
        {QStringLiteral("iPad2,6"), QStringLiteral("iPad Mini")},
        {QStringLiteral("iPad2,7"), QStringLiteral("iPad Mini (GSM+CDMA)")},
        {QStringLiteral("iPad3,1"), QStringLiteral("iPad 3 (WiFi)")},
        {QStringLiteral("iPad3,2"), QStringLiteral("iPad 3 (GSM+CDMA)")},
        {QStringLiteral("iPad3,3"), QStringLiteral("iPad 3")},
        {QStringLiteral("iPad3,4"), QStringLiteral("iPad 4 (WiFi)")},
        {QStringLiteral("iPad3,5"), QStringLiteral("iPad 4")},
        {QStringLiteral("iPad3,6"), QStringLiteral("iPad 4 (GSM+CDMA)")},
        {QStringLiteral("i386"), QStringLiteral("Simulator")},
        {QStringLiteral("x86_64"), QStringLiteral("Simulator")},
    };
    return table.value(identifier);
}

QString machineModel(const QString &root)
{
    const QString product = readSmallFile(joined(root, "/sys/devices/virtual/dmi/id/product_name"));
    if (!isPlaceholder(product)) {
        const QString vendor =
            readSmallFile(joined(root, "/sys/devices/virtual/dmi/id/sys_vendor"));
        if (isPlaceholder(vendor) || product.startsWith(vendor, Qt::CaseInsensitive))
            return product;
        return vendor + QLatin1Char(' ') + product;
    }
    // Boards without DMI (ARM) name themselves in the device tree.
    const QString model = readSmallFile(joined(root, "/proc/device-tree/model"));
    return isPlaceholder(model) ? QString() : model;
}

QString deviceModelDescription(const QString &root)
{
    // The model is what the table is keyed by here; the kernel's architecture name is not a
    // model, so it never turns a desktop into a "Simulator".
    const QString model = machineModel(root);
    if (model.isEmpty())
        return {};
    const QString known = hardwareDescription(model);
    return known.isNull() ? model : known;
}

QString operatingSystemLine(const QString &root)
{
    QString name;
    QString version;
    for (const char *path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(joined(root, path));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals <= 0)
                continue;
            QString value = line.mid(equals + 1);
            if (value.size() >= 2 &&
                (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\''))))
                value = value.mid(1, value.size() - 2);
            const QString key = line.left(equals);
            if (key == QLatin1String("NAME"))
                name = value;
            else if (key == QLatin1String("VERSION_ID"))
                version = value;
        }
        break;
    }
    if (!name.isEmpty())
        return version.isEmpty() ? name : name + QLatin1Char(' ') + version;
    utsname system{};
    if (uname(&system) != 0)
        return QStringLiteral("Linux");
    return QStringLiteral("%1 %2").arg(QString::fromUtf8(system.sysname),
                                       QString::fromUtf8(system.release));
}

QString versionBlock(const QString &version, const QString &description, const QString &systemLine)
{
    return QStringLiteral("version ") + version + description + QLatin1Char('\n') + systemLine +
           QLatin1Char('\n');
}

QString currentVersionBlock()
{
    // The version with its build, then the machine when it names itself.
    const QString model = deviceModelDescription();
    return versionBlock(QStringLiteral(MURMELO_VERSION " (" MURMELO_BUILD_NUMBER ")"),
                        model.isEmpty() ? QString() : QStringLiteral(" on ") + model,
                        operatingSystemLine());
}

QString reportText(const QString &userEmail, const QString &problem, const QString &versionBlock)
{
    return userEmail + QLatin1Char('\n') + problem + QLatin1Char('\n') + versionBlock;
}

} // namespace murmelo::BugReport

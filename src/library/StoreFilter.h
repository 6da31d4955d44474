#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace murmelo {

// A fetch filter: every condition must hold. Attribute names are checked against the schema and
// values are always bound as statement parameters, never written into the SQL text, so a name
// or message typed by the user cannot change what a query does.
struct StoreFilter {
    enum Op { Equal, NotEqual, Less, Greater, BeginsWith, Contains, IsNull, IsNotNull };
    struct Condition {
        QString attribute;
        Op op;
        QVariant value;
    };
    QList<Condition> conditions;

    StoreFilter &where(const QString &attribute, Op op, const QVariant &value = {})
    {
        conditions.append({attribute, op, value});
        return *this;
    }
    bool isEmpty() const { return conditions.isEmpty(); }
};

// One key of a sort order; later keys break ties of earlier ones.
struct StoreSortKey {
    QString attribute;
    bool ascending = true;
};
using StoreSort = QList<StoreSortKey>;

} // namespace murmelo

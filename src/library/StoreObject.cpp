#include "library/StoreObject.h"

#include "library/StoreContext.h"

#include <algorithm>

namespace murmelo {

StoreObject::StoreObject(StoreContext *context, const EntityDescription &entity)
    : context_(context), entity_(&entity), values_(entity.attributes.size()),
      dirty_(entity.attributes.size(), false)
{
}

QUrl StoreObject::objectURI() const
{
    if (rowID_ == 0)
        return {};
    return QUrl(QStringLiteral("murmelo-store://%1/%2").arg(entity_->name).arg(rowID_));
}

bool StoreObject::hasChanges() const
{
    return inserted_ || deleted_ || std::find(dirty_.begin(), dirty_.end(), true) != dirty_.end();
}

QVariant StoreObject::value(const QString &attribute) const
{
    const int index = entity_->indexOf(attribute);
    return index < 0 ? QVariant() : values_[index];
}

void StoreObject::setValue(const QString &attribute, const QVariant &value)
{
    const int index = entity_->indexOf(attribute);
    if (index >= 0)
        setValueAt(index, value, true);
}

void StoreObject::setPrimitiveValue(const QString &attribute, const QVariant &value)
{
    const int index = entity_->indexOf(attribute);
    if (index >= 0)
        setValueAt(index, value, false);
}

void StoreObject::setValueAt(int index, const QVariant &value, bool observed)
{
    if (deleted_ || values_[index] == value)
        return;
    values_[index] = value;
    dirty_[index] = true;
    observedChange_ = observedChange_ || observed;
    if (context_)
        context_->objectDidChange(shared_from_this());
}

bool StoreObject::save()
{
    return context_ && context_->save();
}

void StoreObject::deleteObject()
{
    if (context_) {
        context_->deleteObject(shared_from_this());
    } else if (!deleted_) {
        prepareForDeletion();
        deleted_ = true;
    }
}

} // namespace murmelo

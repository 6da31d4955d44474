#include "library/StoreObject.h"

#include "library/StoreContext.h"

#include <algorithm>

namespace murmelo {

StoreObject::StoreObject(StoreContext *context, const EntityDescription &entity)
    : m_context(context), m_entity(&entity), m_values(entity.attributes.size()),
      m_dirty(entity.attributes.size(), false)
{
}

QUrl StoreObject::objectURI() const
{
    if (m_rowID == 0)
        return {};
    return QUrl(QStringLiteral("murmelo-store://%1/%2").arg(m_entity->name).arg(m_rowID));
}

bool StoreObject::hasChanges() const
{
    return m_inserted || m_deleted ||
           std::find(m_dirty.begin(), m_dirty.end(), true) != m_dirty.end();
}

QVariant StoreObject::value(const QString &attribute) const
{
    const int index = m_entity->indexOf(attribute);
    return index < 0 ? QVariant() : m_values[index];
}

void StoreObject::setValue(const QString &attribute, const QVariant &value)
{
    const int index = m_entity->indexOf(attribute);
    if (index >= 0)
        setValueAt(index, value, true);
}

void StoreObject::setPrimitiveValue(const QString &attribute, const QVariant &value)
{
    const int index = m_entity->indexOf(attribute);
    if (index >= 0)
        setValueAt(index, value, false);
}

void StoreObject::setValueAt(int index, const QVariant &value, bool observed)
{
    if (m_deleted || m_values[index] == value)
        return;
    m_values[index] = value;
    m_dirty[index] = true;
    m_observedChange = m_observedChange || observed;
    if (m_context)
        m_context->objectDidChange(shared_from_this());
}

bool StoreObject::save()
{
    return m_context && m_context->save();
}

void StoreObject::deleteObject()
{
    if (m_context) {
        m_context->deleteObject(shared_from_this());
    } else if (!m_deleted) {
        prepareForDeletion();
        m_deleted = true;
    }
}

} // namespace murmelo

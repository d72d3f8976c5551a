#include "svgconfitem.h"

#include <QAbstractEventDispatcher>
#include <QDebug>
#include <QStringList>
#include <QTimer>

#pragma push_macro("signals")
#undef signals
#include <dconf.h>
#pragma pop_macro("signals")

namespace {

// How often the GLib context is run when Qt's loop does not run it.
const int glibPumpInterval = 50;

QVariant toQVariant(GVariant *value)
{
    if (!value)
        return QVariant();
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN))
        return bool(g_variant_get_boolean(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BYTE))
        return uint(g_variant_get_byte(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT16))
        return int(g_variant_get_int16(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT16))
        return uint(g_variant_get_uint16(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32))
        return int(g_variant_get_int32(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32))
        return uint(g_variant_get_uint32(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT64))
        return qlonglong(g_variant_get_int64(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT64))
        return qulonglong(g_variant_get_uint64(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE))
        return g_variant_get_double(value);
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)
        || g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH)
        || g_variant_is_of_type(value, G_VARIANT_TYPE_SIGNATURE))
        return QString::fromUtf8(g_variant_get_string(value, nullptr));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY)) {
        QStringList list;
        const gchar **strings = g_variant_get_strv(value, nullptr);
        for (const gchar **s = strings; s && *s; ++s)
            list.append(QString::fromUtf8(*s));
        g_free(strings);
        return list;
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BYTESTRING)) {
        gsize size = 0;
        const void *data = g_variant_get_fixed_array(value, &size, 1);
        return QByteArray(static_cast<const char *>(data), int(size));
    }
    // Other types are given as their text form rather than lost.
    gchar *text = g_variant_print(value, TRUE);
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

GVariant *toGVariant(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return g_variant_new_boolean(value.toBool());
    case QMetaType::Int:
        return g_variant_new_int32(value.toInt());
    case QMetaType::UInt:
        return g_variant_new_uint32(value.toUInt());
    case QMetaType::LongLong:
        return g_variant_new_int64(value.toLongLong());
    case QMetaType::ULongLong:
        return g_variant_new_uint64(value.toULongLong());
    case QMetaType::Float:
    case QMetaType::Double:
        return g_variant_new_double(value.toDouble());
    case QMetaType::QStringList: {
        const QStringList list = value.toStringList();
        QList<QByteArray> utf8;
        QList<const gchar *> strings;
        for (const QString &s : list)
            utf8.append(s.toUtf8());
        for (const QByteArray &s : std::as_const(utf8))
            strings.append(s.constData());
        return g_variant_new_strv(strings.constData(), strings.size());
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, bytes.constData(),
                                         gsize(bytes.size()), 1);
    }
    default:
        if (value.canConvert<QString>())
            return g_variant_new_string(value.toString().toUtf8().constData());
        return nullptr;
    }
}

} // namespace

SvGConfItem::SvGConfItem(const QString &key, QObject *parent)
    : QObject(parent),
      m_key(key),
      m_path(key.toUtf8())
{
    if (!dconf_is_key(m_path.constData(), nullptr)) {
        qWarning() << "SvGConfItem: not a configuration key:" << key;
        return;
    }

    // The client reports changes in the GLib context that is the thread's
    // default now. Qt's GLib dispatcher runs that context; without it the
    // context is run from a timer.
    m_context = g_main_context_ref_thread_default();
    m_client = dconf_client_new();
    m_handler = g_signal_connect(m_client, "changed", G_CALLBACK(handleClientChange), this);
    dconf_client_watch_sync(m_client, m_path.constData());

    const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread());
    if (!dispatcher || !dispatcher->inherits("QEventDispatcherGlib")) {
        m_glibPump = new QTimer(this);
        m_glibPump->setInterval(glibPumpInterval);
        connect(m_glibPump, &QTimer::timeout, this, &SvGConfItem::onGlibPump);
        m_glibPump->start();
    }
}

SvGConfItem::~SvGConfItem()
{
    if (m_client) {
        g_signal_handler_disconnect(m_client, m_handler);
        dconf_client_unwatch_fast(m_client, m_path.constData());
        g_object_unref(m_client);
    }
    if (m_context)
        g_main_context_unref(m_context);
}

QString SvGConfItem::key() const
{
    return m_key;
}

QVariant SvGConfItem::value() const
{
    if (!m_client)
        return QVariant();
    GVariant *stored = dconf_client_read(m_client, m_path.constData());
    const QVariant result = toQVariant(stored);
    if (stored)
        g_variant_unref(stored);
    return result;
}

QVariant SvGConfItem::value(const QVariant &defaultValue) const
{
    const QVariant stored = value();
    return stored.isValid() ? stored : defaultValue;
}

void SvGConfItem::set(const QVariant &value)
{
    if (!m_client)
        return;
    GVariant *converted = nullptr;
    if (value.isValid()) {
        converted = toGVariant(value);
        if (!converted) {
            qWarning() << "SvGConfItem: cannot store a value of type" << value.typeName() << "in"
                       << m_key;
            return;
        }
    }
    GError *error = nullptr;
    if (!dconf_client_write_sync(m_client, m_path.constData(), converted, nullptr, nullptr,
                                 &error)) {
        qWarning() << "SvGConfItem: cannot write" << m_key << "-" << (error ? error->message : "");
        g_clear_error(&error);
    }
}

void SvGConfItem::unset()
{
    set(QVariant());
}

void SvGConfItem::handleClientChange(_DConfClient *client, const char *prefix,
                                     const char *const *changes, const char *tag, void *item)
{
    Q_UNUSED(client)
    Q_UNUSED(tag)
    auto *self = static_cast<SvGConfItem *>(item);
    const QByteArray start(prefix);
    for (const char *const *change = changes; change && *change; ++change) {
        const QByteArray path = start + *change;
        // A changed folder (for example a reset of a whole tree) covers the key.
        if (path == self->m_path || (path.endsWith('/') && self->m_path.startsWith(path))) {
            QMetaObject::invokeMethod(self, &SvGConfItem::valueChanged, Qt::QueuedConnection);
            return;
        }
    }
}

void SvGConfItem::onGlibPump()
{
    while (g_main_context_iteration(m_context, FALSE)) { }
}

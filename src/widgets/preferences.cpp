#include "widgets/preferences.h"

#include <QEvent>
#include <QSettings>
#include <QWidget>

namespace quorvex {

namespace {

QString geometry_key(const QWidget *window)
{
    return QStringLiteral("geometry/") + window->objectName();
}

class GeometryKeeper : public QObject
{
public:
    explicit GeometryKeeper(QWidget *window) : QObject(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = static_cast<QWidget *>(watched);
        if (event->type() == QEvent::Show && !m_restored) {
            m_restored = true;
            // Bytes that are not a geometry (a damaged file) leave the window as it is.
            window->restoreGeometry(preference(geometry_key(window)).toByteArray());
        } else if (event->type() == QEvent::Hide && m_restored) {
            setPreference(geometry_key(window), window->saveGeometry());
        }
        return false;
    }

private:
    bool m_restored = false;
};

} // namespace

QVariant preference(const QString &key, const QVariant &fallback)
{
    const QSettings settings;
    if (settings.status() != QSettings::NoError)
        return fallback;
    return settings.value(key, fallback);
}

void setPreference(const QString &key, const QVariant &value)
{
    QSettings settings;
    settings.setValue(key, value);
}

void keep_geometry(QWidget *window)
{
    window->installEventFilter(new GeometryKeeper(window));
}

} // namespace quorvex

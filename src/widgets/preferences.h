#pragma once

#include <QString>
#include <QVariant>

class QWidget;

namespace quorvex {

// What the user arranged, kept between runs in the program's settings: window geometries, the
// USB interface, the last log folder. The start-up state the program fixes (speed, debug,
// units) is never kept. A damaged or unreadable settings file reads as no settings at all.
QVariant preference(const QString &key, const QVariant &fallback = {});
void setPreference(const QString &key, const QVariant &value);

// The window comes back where the user left it: its geometry is restored the first time it is
// shown (when the stored one is usable) and stored whenever it is hidden.
void keep_geometry(QWidget *window);

} // namespace quorvex

// Preferences between runs: a window comes back where the user left it, and a damaged
// settings file reads as no settings at all.
#include "widgets/preferences.h"

#include <QFile>
#include <QSettings>
#include <QWidget>

#include <gtest/gtest.h>

using namespace quorvex;

namespace {

// A window as the program creates one: named, keeping its geometry.
std::unique_ptr<QWidget> window()
{
    auto w = std::make_unique<QWidget>();
    w->setObjectName(QStringLiteral("DataLog"));
    keep_geometry(w.get());
    return w;
}

void clearSettings()
{
    QSettings settings;
    settings.clear();
    settings.sync();
}

} // namespace

TEST(Preferences, WindowComesBackWithItsGeometry)
{
    clearSettings();
    {
        auto first = window();
        first->show();
        first->setGeometry(40, 50, 321, 234);
        first->hide();
    }
    auto second = window();
    second->resize(100, 100);
    second->show();
    EXPECT_EQ(second->size(), QSize(321, 234));
    second->hide();
}

TEST(Preferences, DamagedSettingsReadAsDefaults)
{
    clearSettings();
    setPreference(QStringLiteral("datalog/folder"), QStringLiteral("/tmp/logs"));
    const QString path = QSettings().fileName();
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General\n\xff\xfe\x00garbage=\n[geometry]\nDataLog=@ByteArray(\\x1\\x2)\n");
    }
    EXPECT_EQ(preference(QStringLiteral("datalog/folder"), QStringLiteral("home")).toString(),
              QStringLiteral("home"));
    // A geometry that is not one leaves the window as it was.
    auto w = window();
    w->resize(222, 111);
    w->show();
    EXPECT_EQ(w->size(), QSize(222, 111));
    w->hide();
    // What is set afterwards is kept again.
    setPreference(QStringLiteral("datalog/folder"), QStringLiteral("/tmp/other"));
    EXPECT_EQ(preference(QStringLiteral("datalog/folder")).toString(),
              QStringLiteral("/tmp/other"));
}

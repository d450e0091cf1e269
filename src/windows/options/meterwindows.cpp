#include "windows/options/meterwindows.h"

#include "link/obdcontext.h"
#include "livedata/livestate.h"
#include "widgets/controls.h"
#include "widgets/preferences.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvex {

frmFuel_Trim::frmFuel_Trim(ObdContext &ctx, const LiveDataState &live, QWidget *parent)
    : QWidget(parent, Qt::Window), m_ctx(ctx), m_live(live)
{
    setObjectName(QStringLiteral("frmFuel_Trim"));
    keep_geometry(this);
    setWindowTitle(QStringLiteral("Fuel Trim Monitor"));
    auto *layout = new QVBoxLayout(this);
    auto *title = named(new QLabel(QStringLiteral("Fuel Trim Monitor Window")), "Label5");
    title->setFont(family(QStringLiteral("Arial Black"), QFont::SansSerif));
    layout->addWidget(title);
    static const char *labelNames[] = {"Label1", "Label2", "Label3", "Label4"};
    for (int row = 0; row < 4; ++row) {
        m_trims[row] = named(new QLabel, labelNames[row]);
        m_trims[row]->setFont(family(QStringLiteral("Courier New"), QFont::Monospace));
        layout->addWidget(m_trims[row]);
    }
    Option1 = named(new FlagOption(QStringLiteral("Option1")), "Option1");
    Command1 = named(new QPushButton(QStringLiteral("EXIT")), "Command1");
    layout->addWidget(Option1);
    layout->addWidget(Command1);
    connect(Command1, &QPushButton::clicked, this, &frmFuel_Trim::Command1_Click);
    connect(Option1, &QAbstractButton::clicked, this, &frmFuel_Trim::Option1_Click);
}

void frmFuel_Trim::RunFuelTrimMonitor()
{
    if (m_running)
        return; // the menu again while it runs: the window is already up
    m_running = true;
    m_FuelTrimStop = false;
    Option1->setChecked(false);
    run_fuel_trim_monitor(m_ctx, m_live, *this, m_onFailure);
    m_running = false;
    hide();
}

void frmFuel_Trim::Command1_Click()
{
    Option1->setChecked(true);
    Option1_Click();
    if (m_hideChart)
        m_hideChart();
    m_FuelTrimStop = true;
}

void frmFuel_Trim::Option1_Click()
{
    m_FuelTrimStop = true;
}

void frmFuel_Trim::showTrim(int row, const QString &caption)
{
    m_trims[static_cast<size_t>(row)]->setText(caption);
}

Air_Fuel_Ratio::Air_Fuel_Ratio(ObdContext &ctx, LiveDataState &live, QWidget *parent)
    : QWidget(parent, Qt::Window), m_ctx(ctx), m_live(live)
{
    setObjectName(QStringLiteral("Air_Fuel_Ratio"));
    keep_geometry(this);
    // Fifty blanks centre the caption in the title bar.
    setWindowTitle(QString(50, u' ') + QStringLiteral("Air/Fuel Ratio"));
    auto *layout = new QGridLayout(this);
    auto *caption = named(new QLabel(QStringLiteral("AIR/FUEL RATIO")), "Label1");
    caption->setFont(family(QStringLiteral("Times New Roman"), QFont::Serif));
    Text1 = named(new QLineEdit, "Text1", QStringLiteral("AIR/FUEL RATIO"));
    Text1->setFont(family(QStringLiteral("Arial Black"), QFont::SansSerif));
    Text2 = named(new QLineEdit, "Text2", QStringLiteral("Engine speed"));
    for (QLineEdit *t : {Text1, Text2})
        t->setReadOnly(true);
    Command1 = named(new QPushButton(QStringLiteral("START")), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("EXIT")), "Command2");
    layout->addWidget(caption, 0, 0, 1, 2);
    layout->addWidget(Text1, 1, 0, 1, 2);
    layout->addWidget(Text2, 2, 0, 1, 2);
    layout->addWidget(Command1, 3, 0);
    layout->addWidget(Command2, 3, 1);
    connect(Command1, &QPushButton::clicked, this, &Air_Fuel_Ratio::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Air_Fuel_Ratio::Command2_Click);
}

void Air_Fuel_Ratio::Command1_Click()
{
    if (m_running)
        return;
    m_running = true;
    m_stop = false;
    run_air_fuel_meter(m_ctx, m_live, *this, m_onFailure);
    m_running = false;
    Text1->clear();
    Text2->clear();
    hide();
}

void Air_Fuel_Ratio::Command2_Click()
{
    stopMeter();
}

void Air_Fuel_Ratio::stopMeter()
{
    // The meter stops at the head of its next pass; the exchange it waits in ends now.
    m_stop = true;
    m_ctx.state.StopFlag = true;
}

void Air_Fuel_Ratio::showRatio(const QString &text)
{
    Text1->setText(text);
}

void Air_Fuel_Ratio::showSpeed(const QString &text)
{
    Text2->setText(text);
}

} // namespace quorvex

#include "windows/chart/chartwindow.h"

#include "widgets/controls.h"
#include "widgets/preferences.h"
#include "windows/chart/stripchart.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quorvex {

Chart::Chart(Prompts &prompts, Clock &clock, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Chart"));
    keep_geometry(this);
    setWindowTitle(QStringLiteral("Quorvex Graphic Output"));
    iStripChartX1 = named(new StripChart(prompts, clock), "iStripChartX1",
                          QStringLiteral("Quorvex Real Time Plot"));
    lblValText = named(new QLabel, "lblValText");
    txbValue = named(new QLineEdit, "txbValue", QStringLiteral("Value"));
    txbValue->setReadOnly(true);
    optFlag = named(new FlagOption(QStringLiteral("Option1")), "optFlag");
    const QFont times = family(QStringLiteral("Times New Roman"), QFont::Serif);
    auto button = [&times](const char *name, const QString &caption) {
        auto *b = named(new QPushButton(caption), name);
        b->setFont(times);
        return b;
    };
    cmdFreeze = button("cmdFreeze", QStringLiteral("Freeze"));
    Stop1 = button("Stop1", QStringLiteral("STOP"));
    Stop1->setFont(family(QStringLiteral("Courier"), QFont::Monospace));
    cmdClearData = button("cmdClearData", QStringLiteral("Clear"));
    cmdResetChart = button("cmdResetChart", QStringLiteral("Reset"));
    cmdShowHideToolbar = button("cmdShowHideToolbar", QStringLiteral("Show/Hide Toolbar"));

    auto *values = new QHBoxLayout;
    values->addWidget(lblValText);
    values->addWidget(txbValue, 1);
    values->addWidget(optFlag);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {cmdFreeze, Stop1, cmdClearData, cmdResetChart, cmdShowHideToolbar})
        buttons->addWidget(b);
    auto *layout = new QGridLayout(this);
    layout->addWidget(iStripChartX1, 0, 0);
    layout->addLayout(values, 1, 0);
    layout->addLayout(buttons, 2, 0);
    layout->setRowStretch(0, 1);
    resize(720, 480);

    connect(cmdClearData, &QPushButton::clicked, this, &Chart::cmdClearData_Click);
    connect(cmdResetChart, &QPushButton::clicked, this, &Chart::cmdResetChart_Click);
    connect(cmdShowHideToolbar, &QPushButton::clicked, this, &Chart::cmdShowHideToolbar_Click);
    connect(cmdFreeze, &QPushButton::clicked, this, &Chart::cmdFreeze_Click);
    connect(Stop1, &QPushButton::clicked, this, &Chart::Stop1_Click);
}

void Chart::SetupChart()
{
    StripChart *c = iStripChartX1;
    c->addChannel(QStringLiteral("Channel 1"), QColor(0, 255, 0), 0, 2);
    c->setFollowPosition(100);
    c->setXAxisMax(10.0);
    c->setXAxisMin(0.0);
    c->setXAxisTitle(QStringLiteral("Elapsed Time - Seconds"));
    c->setYAxisMax(255.0);
    c->setYAxisMin(0.0);
    c->setYAxisTitle(QStringLiteral("Voltage"));
    c->reset();
    c->setAntialiased(true);
    c->setFollowing(true);
}

void Chart::beginDisplay()
{
    iStripChartX1->clearData();
    iStripChartX1->reset();
    optFlag->setChecked(false);
    show();
}

void Chart::stopDisplay()
{
    optFlag->setChecked(true);
}

void Chart::cmdClearData_Click()
{
    iStripChartX1->clearData();
}

void Chart::cmdResetChart_Click()
{
    iStripChartX1->clearData();
    iStripChartX1->reset();
}

void Chart::cmdShowHideToolbar_Click()
{
    iStripChartX1->setToolbarVisible(!iStripChartX1->toolbarVisible());
}

void Chart::cmdFreeze_Click()
{
    optFlag->setChecked(!optFlag->isChecked());
}

void Chart::Stop1_Click()
{
    optFlag->setChecked(true);
    hide();
}

bool Chart::stopRequested() const
{
    return optFlag->isChecked();
}

void Chart::showSample(const RealTimeSample &sample)
{
    StripChart *c = iStripChartX1;
    c->setYAxisMax(sample.yMax);
    c->setYAxisMin(sample.yMin);
    c->setYAxisTitle(sample.yTitle);
    lblValText->setText(sample.caption);
    txbValue->setText(sample.valueText);
    // A value that is not a number plots nothing this pass.
    if (sample.y) {
        c->beginSample();
        c->addSample(0, c->nextX(), *sample.y);
        c->endSample();
    }
}

} // namespace quorvex

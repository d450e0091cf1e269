#include "windows/vehicleinfo/vehicleinfowindow.h"

#include "diagnostics/vehicleinfo.h"
#include "link/obdcontext.h"
#include "widgets/controls.h"
#include "widgets/preferences.h"
#include "widgets/prompts.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvex {

VehicleInfoWindow::VehicleInfoWindow(ObdContext &ctx, Prompts &prompts, QWidget *parent)
    : QMainWindow(parent), m_ctx(ctx), m_prompts(prompts)
{
    setObjectName(QStringLiteral("VehicleInfoWindow"));
    keep_geometry(this);
    setWindowTitle(QStringLiteral("Vehicle Information"));
    auto *central = new QWidget(this);
    setCentralWidget(central);

    Label1 = named(new QLabel, "InfoStatus", QStringLiteral("Vehicle information status"));
    List1 = named(new QListWidget, "InfoList", QStringLiteral("Vehicle information"));
    List1->setFont(family(QStringLiteral("Courier"), QFont::Monospace));
    Read = named(new QPushButton(QStringLiteral("Read")), "Read");
    Copy = named(new QPushButton(QStringLiteral("Copy")), "Copy");
    Print = named(new QPushButton(QStringLiteral("Print")), "Print");

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Read);
    buttons->addWidget(Copy);
    buttons->addWidget(Print);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(Label1);
    layout->addWidget(List1, 1);
    layout->addLayout(buttons);
    resize(560, 420);

    connect(Read, &QPushButton::clicked, this, &VehicleInfoWindow::Read_Click);
    connect(Copy, &QPushButton::clicked, this, &VehicleInfoWindow::Copy_Click);
    connect(Print, &QPushButton::clicked, this, &VehicleInfoWindow::Print_Click);
}

void VehicleInfoWindow::Read_Click()
{
    // Nothing of an earlier reading stays: the lines are this reading's or none.
    m_lines.clear();
    List1->clear();
    Label1->setText(QStringLiteral("Reading..."));
    Read->setEnabled(false);
    const VehicleInfoRun run = request_vehicle_info(m_ctx);
    Read->setEnabled(true);
    if (run.status == ExchangeStatus::LinkLost) {
        Label1->clear(); // the main window tells of the lost link
        return;
    }
    m_lines = vehicle_info_lines(run);
    List1->addItems(m_lines);
    if (run.status != ExchangeStatus::Ok && m_lines.isEmpty())
        Label1->setText(QStringLiteral("The vehicle did not answer"));
    else if (m_lines.isEmpty())
        Label1->setText(QStringLiteral("No vehicle information reported"));
    else
        Label1->setText(QStringLiteral("Vehicle information of %1 ECU(s)").arg(run.ecus.size()));
    if (m_outcome)
        m_outcome(run.status);
}

void VehicleInfoWindow::Copy_Click()
{
    QGuiApplication::clipboard()->setText(m_lines.join(u'\n'));
}

void VehicleInfoWindow::Print_Click()
{
    QString reason;
    if (!m_prompts.print(QStringList{windowTitle()} + m_lines, &reason))
        m_prompts.message(QStringLiteral("Nothing was printed: ") + reason, windowTitle(),
                          Prompts::Icon::Warning);
}

} // namespace quorvex

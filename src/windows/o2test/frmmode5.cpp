#include "windows/o2test/frmmode5.h"

#include "link/obdcontext.h"
#include "livedata/livestate.h"
#include "widgets/controls.h"
#include "widgets/indicator.h"
#include "widgets/pictures.h"
#include "widgets/preferences.h"
#include "widgets/prompts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

namespace quorvex {

namespace {

const QColor kLightGreen(80, 255, 80);
const QString kNotAvailable = QStringLiteral("N/A");

const char16_t *const kLabels[] = {
    u"Rich to Lean Sensor Threshold Voltage",
    u"Lean to Rich Sensor Threshold Voltage",
    u"Low Sensor Voltage for Sensor Switch time calculation",
    u"High Sensor Voltage for Sensor Switch time calculation",
    u"Rich to Lean Sensor Switch Time",
    u"Lean to Rich Sensor Switch Time",
    u"Minimum Sensor Voltage for Test Cycle",
    u"Maximun Sensor Voltage for Test Cycle",
    u"Time Between Sensor Transitions",
};

} // namespace

frmMode5::frmMode5(ObdContext &ctx, const LiveDataState &live, Prompts &prompts, QWidget *parent)
    : QMainWindow(parent), m_ctx(ctx), m_live(live), m_prompts(prompts)
{
    setObjectName(QStringLiteral("frmMode5"));
    keep_geometry(this);
    setWindowTitle(QStringLiteral("O2 Sensor Test"));
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *grid = new QGridLayout(central);

    grid->addWidget(named(new QLabel(QStringLiteral("O2 Sensor Test Results")), "Label1"), 0, 0, 1,
                    4);
    grid->addWidget(named(new QLabel(QStringLiteral("Select O2 Sensor")), "Label2"), 1, 0);
    cbo02list = named(new QComboBox, "cbo02list", QStringLiteral("Select O2 Sensor"));
    grid->addWidget(cbo02list, 1, 1);
    Command3 = named(new QPushButton(QStringLiteral("Get Test Results")), "Command3");
    Command1 = named(new QPushButton(QStringLiteral("EXIT")), "Command1");
    grid->addWidget(Command3, 1, 2);
    grid->addWidget(Command1, 1, 3);

    for (int i = 0; i < 9; ++i) {
        const int row = 2 + i;
        const QString number = QStringLiteral("%1").arg(i + 1, 2, 10, QChar(u'0'));
        const QString label = QString::fromUtf16(kLabels[i]);
        grid->addWidget(named(new QLabel(label), QStringLiteral("lblT") + number), row, 0);
        txtT[i] = named(new QLineEdit(kNotAvailable), QStringLiteral("txtT") + number, label);
        txtT[i]->setReadOnly(true);
        grid->addWidget(txtT[i], row, 1);
        if (i < 4)
            continue;
        grid->addWidget(named(new QLabel(QStringLiteral("Min Limit Max Limit")),
                              QStringLiteral("lblLimits") + number),
                        row, 4);
        for (auto *boxes : {&txtTmin, &txtTmax}) {
            const bool min = boxes == &txtTmin;
            QLineEdit *box =
                named(new QLineEdit(kNotAvailable),
                      QStringLiteral("txtT") + number +
                          (min ? QStringLiteral("min") : QStringLiteral("max")),
                      label + (min ? QStringLiteral(" minimum") : QStringLiteral(" maximum")));
            box->setReadOnly(true);
            (*boxes)[static_cast<size_t>(i - 4)] = box;
            grid->addWidget(box, row, min ? 2 : 3);
        }
    }
    // The legend: results outside their limits are shown in red.
    auto *legend = new QHBoxLayout;
    legend->addWidget(named(new QLabel(QStringLiteral("Results in")), "Label3"));
    auto *red = named(new QLabel(QStringLiteral("RED")), "Label4");
    QPalette redText = red->palette();
    redText.setColor(QPalette::WindowText, kRed);
    red->setPalette(redText);
    legend->addWidget(red);
    legend->addWidget(named(new QLabel(QStringLiteral(" Indicate Failure")), "Label5"));
    legend->addStretch(1);
    grid->addLayout(legend, 11, 0, 1, 4);
    grid->addWidget(named(new Picture(QStringLiteral("o2-test.svg")), "Picture1",
                          QStringLiteral("O2 sensor test definitions")),
                    12, 0, 1, 5);
    grid->setRowStretch(12, 1);

    // "O2 Graph" is a command on the bar itself.
    QAction *o2graph = menuBar()->addAction(QStringLiteral("O2 Graph"));
    o2graph->setObjectName(QStringLiteral("mnuO2graph"));
    QMenu *locations =
        namedMenu(menuBar()->addMenu(QStringLiteral("O2 Locations")), "mnuLocations");
    QAction *v8 =
        namedAction(locations->addAction(QStringLiteral("V6,8,10 and 12 Dual Exhaust")), "mnuV8");
    QAction *single = namedAction(
        locations->addAction(QStringLiteral("V6,8,10, 12 Single Exhaust")), "mnuSingle");
    QAction *i4 =
        namedAction(locations->addAction(QStringLiteral("4 Cyliner (straight)")), "mnu4cyl");

    connect(cbo02list, &QComboBox::activated, this, &frmMode5::cbo02list_Click);
    connect(Command3, &QPushButton::clicked, this, &frmMode5::Command3_Click);
    connect(Command1, &QPushButton::clicked, this, &frmMode5::Command1_Click);
    connect(o2graph, &QAction::triggered, this, &frmMode5::mnuO2graph_Click);
    connect(v8, &QAction::triggered, this, &frmMode5::mnuV8_Click);
    connect(single, &QAction::triggered, this, &frmMode5::mnuSingle_Click);
    connect(i4, &QAction::triggered, this, &frmMode5::mnu4cyl_Click);
    resize(900, 700);
}

bool frmMode5::Form_Load()
{
    // The window is hidden, not destroyed, by "EXIT": loaded again it shows no results, as the
    // first time, whatever sensor was tested last.
    QList<QLineEdit *> boxes(txtT.begin(), txtT.end());
    boxes << QList<QLineEdit *>(txtTmin.begin(), txtTmin.end())
          << QList<QLineEdit *>(txtTmax.begin(), txtTmax.end());
    for (QLineEdit *box : boxes) {
        box->setText(kNotAvailable);
        box->setPalette(QPalette());
    }
    Command3->setEnabled(false);
    cbo02list->clear();
    O2SensorBits.clear();
    for (const O2SensorChoice &choice : o2_sensor_choices(m_live.O2Sensors)) {
        cbo02list->addItem(choice.line);
        O2SensorBits << choice.bit;
    }
    cbo02list->setCurrentIndex(-1);
    if (!m_live.O2MonitorComplete) {
        m_prompts.message(QStringLiteral("The O2 test results are not available until the O2 "
                                         "Sensor test has completed. "),
                          QString(), Prompts::Icon::None);
        hide();
        return false;
    }
    return true;
}

void frmMode5::cbo02list_Click()
{
    Command3->setEnabled(cbo02list->currentIndex() >= 0);
}

void frmMode5::Command3_Click()
{
    const int line = cbo02list->currentIndex();
    if (line < 0 || line >= O2SensorBits.size())
        return;
    Command3->setEnabled(false);
    const O2TestRun run = RunO2Test(m_ctx, O2SensorBits.at(line));
    Command3->setEnabled(true);
    if (m_ctx.state.DebugMode && m_echo) {
        for (const QString &reply : run.supportEcho)
            m_echo(QStringLiteral("Mode 5, PID 0 = ") + reply + QStringLiteral("\r\n"));
    }
    if (m_outcome)
        m_outcome(run.status.outcome());
    switch (run.outcome) {
    case O2TestRun::Outcome::EcuTimeout:
        m_prompts.message(QString::fromUtf16(kEcuTimeout), QString(), Prompts::Icon::None);
        return;
    case O2TestRun::Outcome::NotSupported:
        m_prompts.message(QStringLiteral("The O2 Sensor Test is not supported by this vehicle"),
                          QString(), Prompts::Icon::None);
        return;
    case O2TestRun::Outcome::Failed:
        // The indicator tells the main window's user; this window says it too.
        if (vehicle_not_reached(run.status.outcome()))
            m_prompts.message(QString::fromUtf16(kEcuNotCommunicating), QString(),
                              Prompts::Icon::None);
        return;
    case O2TestRun::Outcome::Done:
        break;
    }
    for (const O2TidResult &result : run.results)
        show_result(result);
}

void frmMode5::show_result(const O2TidResult &result)
{
    QLineEdit *value = txtT[static_cast<size_t>(result.tid - 1)];
    value->setText(result.value);
    if (result.tid <= 4) {
        paint(value, kLightGreen);
        return;
    }
    // Outside its limits, the value is red, as the legend says; within them, plain.
    paint(value, result.outside ? kRed : QColor(Qt::white));
    txtTmin[static_cast<size_t>(result.tid - 5)]->setText(result.minimum);
    txtTmax[static_cast<size_t>(result.tid - 5)]->setText(result.maximum);
}

void frmMode5::Command1_Click()
{
    hide();
}

PictureWindow *frmMode5::pictureWindow(int which)
{
    if (!m_pictures[static_cast<size_t>(which)]) {
        const QString dual = QStringLiteral(
            "The B1S1 and B2S1 sensors may be Wide Range or normal Heated Sensor types");
        switch (which) {
        case 0:
            m_pictures[0] = new PictureWindow("frmO2", QStringLiteral("O2 Sensor Test Definitions"),
                                              QStringLiteral("o2-test.svg"), QString(), true, this);
            break;
        case 1:
            m_pictures[1] = new PictureWindow(
                "frmVXdual",
                QStringLiteral("O2 sensor locations for V engine, dual exhaust configuration"),
                QStringLiteral("v-dual-exhaust.svg"), dual, false, this);
            break;
        case 2:
            m_pictures[2] = new PictureWindow(
                "frmVXsingle",
                QStringLiteral("O2 sensor locations for V configuration with single exhaust"),
                QStringLiteral("v-single-exhaust.svg"), dual, false, this);
            break;
        default:
            m_pictures[3] = new PictureWindow(
                "frmI4sensor", QStringLiteral("O2 sensor location for I4 cylinder configurations"),
                QStringLiteral("i4.svg"),
                QStringLiteral("The B1S1 sensor may be Wide Range or normal Heated Sensor type"),
                false, this);
            break;
        }
    }
    return m_pictures[static_cast<size_t>(which)];
}

void frmMode5::mnuO2graph_Click()
{
    pictureWindow(0)->show();
}

void frmMode5::mnuV8_Click()
{
    pictureWindow(1)->show();
}

void frmMode5::mnuSingle_Click()
{
    pictureWindow(2)->show();
}

void frmMode5::mnu4cyl_Click()
{
    pictureWindow(3)->show();
}

} // namespace quorvex

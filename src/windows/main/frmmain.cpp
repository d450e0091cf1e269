#include "windows/main/frmmain.h"

#include "link/version.h"
#include "livedata/sweep.h"
#include "widgets/accessible.h"
#include "widgets/controls.h"
#include "widgets/indicator.h"
#include "widgets/preferences.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvex {

frmMain::frmMain(Prompts &prompts, Clock &clock, QWidget *parent)
    : QMainWindow(parent), m_ctx(clock), m_prompts(prompts), m_elm(clock),
      m_quit([] { QCoreApplication::exit(0); })
{
    install_accessibility();
    setObjectName(QStringLiteral("frmMain"));
    keep_geometry(this);
    setWindowTitle(QStringLiteral("Quorvex  OBD-II Interface Version " QUORVEX_VERSION "  R5"));
    buildControls();
    buildMenus();
    connectHandlers();
}

frmMain::~frmMain()
{
    // Waits still running in nested loops must not touch the window once it is gone.
    m_ctx.beginClosing();
}

void frmMain::buildControls()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);

    auto optionButton = [](const char *name, const QString &caption) {
        return named(new OptionButton(caption), name);
    };

    Frame1 = named(new QGroupBox(QStringLiteral("Comand/Status")), "Frame1");
    Mode1 = optionButton("Mode1", QStringLiteral("Request Current Powertrain Diagnostic Data"));
    Mode3 = optionButton("Mode3", QStringLiteral("Request Diagnostic Trouble Codes"));
    Mode4 = optionButton("Mode4", QStringLiteral("Clear/Reset Diagnostic Trouble Codes"));
    PermanentCodes =
        optionButton("PermanentCodes", QStringLiteral("Request Permanent Trouble Codes"));
    Label1 = named(new ClickLabel(QStringLiteral("ECU Status")), "Label1");
    Text1 = named(new QLineEdit(QStringLiteral("ECU Not Ready")), "Text1",
                  QStringLiteral("ECU Status"));
    Text1->setReadOnly(true);
    Text1->setAutoFillBackground(true);
    auto *frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addWidget(Mode1);
    frameLayout->addWidget(Mode3);
    frameLayout->addWidget(PermanentCodes);
    frameLayout->addWidget(Mode4);
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(Label1);
    statusRow->addWidget(Text1, 1);
    frameLayout->addLayout(statusRow);

    Mode2 = optionButton("Mode2", QStringLiteral("Get Freeze Frame Data"));
    Mode5 = optionButton("Mode5", QStringLiteral("O2 Sensor Test"));
    ChangeECU = optionButton("ChangeECU", QStringLiteral("Change ECU"));

    Label3 = named(new ClickLabel(QStringLiteral("Vehicle Data")), "Label3");
    Text2 = named(new QLineEdit, "Text2", QStringLiteral("Vehicle Data"));
    Text2->setFont(family(QStringLiteral("Arial"), QFont::SansSerif));
    Label7 = named(new QLabel, "Label7");
    Label6 = named(new QLabel, "Label6");
    // What an ELM327 adapter reports of itself, under the firmware id.
    lblAdapter = named(new QLabel, "lblAdapter", QStringLiteral("Adapter"));
    lblAdapter->hide();
    const QFont heavy = family(QStringLiteral("Arial Black"), QFont::SansSerif);
    Label7->setFont(heavy);
    Label6->setFont(heavy);
    Label4 = named(new QLabel(QStringLiteral("OBD-II scan interface front end")), "Label4");

    Label2 = named(new QLabel(QStringLiteral("Vehicle Test Status/Trouble Code Window"
                                             "           use the scroll bar to see more data")),
                   "Label2");
    textECU = named(new QPlainTextEdit, "textECU",
                    QStringLiteral("Vehicle Test Status/Trouble Code Window"));
    textECU->setFont(family(QStringLiteral("Courier New"), QFont::Monospace));
    Label5 = named(
        new QLabel(QStringLiteral("Vehicle Data Window, Double Click Item for Real Time Display")),
        "Label5");
    List1 = named(new QListWidget, "List1", QStringLiteral("Vehicle Data Window"));
    List1->setFont(family(QStringLiteral("Courier"), QFont::Monospace));
    List2 = named(new QListWidget(central), "List2", QStringLiteral("Trouble code definitions"));
    List2->hide();

    Command1 = named(new QPushButton(QStringLiteral("Exit")), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("Print")), "Command2");

    auto *left = new QVBoxLayout;
    left->addWidget(Frame1);
    left->addWidget(Mode2);
    left->addWidget(Mode5);
    left->addWidget(ChangeECU);
    auto *vinRow = new QHBoxLayout;
    vinRow->addWidget(Label3);
    vinRow->addWidget(Text2, 1);
    left->addLayout(vinRow);
    left->addWidget(Label7);
    left->addWidget(lblAdapter);
    left->addWidget(Label6);
    left->addStretch(1);
    left->addWidget(Label4);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Command2);
    buttons->addWidget(Command1);
    left->addLayout(buttons);

    auto *right = new QVBoxLayout;
    right->addWidget(Label2);
    right->addWidget(textECU, 1);
    right->addWidget(Label5);
    right->addWidget(List1, 2);

    auto *top = new QHBoxLayout(central);
    top->addLayout(left, 0);
    top->addLayout(right, 1);
    resize(900, 620);
}

void frmMain::buildMenus()
{
    auto menu = [this](const char *name, const QString &title) {
        return namedMenu(menuBar()->addMenu(title), name);
    };
    mnuLog = menu("mnuLog", QStringLiteral("&Data Log"));
    mnuDataLogLog = namedAction(mnuLog->addAction(QStringLiteral("&Log")), "mnuDataLogLog");
    mnuDataLogOpen =
        namedAction(mnuLog->addAction(QStringLiteral("&Open Log\u2026")), "mnuDataLogOpen");
    mnuRecordExchanges = namedAction(mnuLog->addAction(QStringLiteral("Record &Exchanges\u2026")),
                                     "mnuRecordExchanges");

    mnuCom = menu("mnuCom", QStringLiteral("&Connection"));
    mnuUSB = namedAction(mnuCom->addAction(QStringLiteral("USB")), "mnuUSB");
    const char *comNames[] = {"mnuConnectionCom1", "mnuConnectionCom2", "mnuConnectionCom3",
                              "mnuConnectionCom4"};
    for (int i = 0; i < 4; ++i)
        mnuConnectionCom[static_cast<size_t>(i)] =
            namedAction(mnuCom->addAction(QStringLiteral("Com%1").arg(i + 1)), comNames[i]);
    // An ELM327 adapter on the network (the Wi-Fi clones), whatever the serial ports lead to.
    mnuWifi = namedAction(mnuCom->addAction(QStringLiteral("Wi-Fi adapter\u2026")), "mnuWifi");
    mnu9600 = namedAction(mnuCom->addAction(QStringLiteral("9600 baud")), "mnu9600");
    mnu19200 = namedAction(mnuCom->addAction(QStringLiteral("19200 baud")), "mnu19200");
    // ELM327 adapters run at 38400 baud (some at 9600 or 115200).
    mnu38400 = namedAction(mnuCom->addAction(QStringLiteral("38400 baud")), "mnu38400");
    mnu115200 = namedAction(mnuCom->addAction(QStringLiteral("115200 baud")), "mnu115200");
    mnuCom->addSeparator();
    auto *adapters = new QActionGroup(this);
    mnuAdapterInterface =
        namedAction(mnuCom->addAction(QStringLiteral("Scan interface")), "mnuAdapterInterface");
    mnuAdapterElm327 =
        namedAction(mnuCom->addAction(QStringLiteral("ELM327 adapter")), "mnuAdapterElm327");
    for (QAction *a : {mnuAdapterInterface, mnuAdapterElm327}) {
        a->setCheckable(true);
        adapters->addAction(a);
    }
    mnuAdapterInterface->setChecked(true);

    mnuMode6 = namedAction(menuBar()->addAction(QStringLiteral("&Mode 6 Tests")), "mnuMode6");
    mnuVehicleInfo =
        namedAction(menuBar()->addAction(QStringLiteral("&Vehicle Information")), "mnuVehicleInfo");

    mnuOpt = menu("mnuOpt", QStringLiteral("&Options"));
    mnuFTM = namedAction(mnuOpt->addAction(QStringLiteral("&Fuel Trim Monitor")), "mnuFTM");
    mnuAF = namedAction(mnuOpt->addAction(QStringLiteral("&Air/Fuel Ratio Meter")), "mnuAF");
    mnuUnits = namedMenu(mnuOpt->addMenu(QStringLiteral("&Units")), "mnuUnits");
    mnuUnitsEnglish =
        namedAction(mnuUnits->addAction(QStringLiteral("&English")), "mnuUnitsEnglish");
    mnuUnitsMetric = namedAction(mnuUnits->addAction(QStringLiteral("&Metric")), "mnuUnitsMetric");
    mnuDebugMode =
        namedAction(mnuOpt->addAction(QStringLiteral("&Debug Mode On/Off")), "mnuDebugMode");
    // The ELM327's serial line faster than it starts at, where the adapter can; here rather than
    // under Connection, which is closed while connected.
    mnuRaiseSpeed =
        namedAction(mnuOpt->addAction(QStringLiteral("Raise ELM327 line speed")), "mnuRaiseSpeed");
    mnuRaiseSpeed->setCheckable(true);
    mnuRaiseSpeed->setChecked(preference(QLatin1String(kRaiseSpeedKey), false).toBool());
}

// --- Rendering ---------------------------------------------------------------------------

void frmMain::setStatus(const QString &text, const QColor &color)
{
    Text1->setText(text);
    setStatusColor(color);
}

void frmMain::setStatusColor(const QColor &color)
{
    QPalette pal = Text1->palette();
    pal.setColor(QPalette::Base, color);
    pal.setColor(QPalette::Window, color);
    pal.setColor(QPalette::Text, Qt::black);
    Text1->setPalette(pal);
}

QString frmMain::reportText() const
{
    // The report window stores CR LF line breaks; the editor itself keeps LF only.
    return textECU->toPlainText().replace(u'\n', QStringLiteral("\r\n"));
}

void frmMain::setReportText(const QString &text)
{
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    textECU->setPlainText(plain);
}

void frmMain::clearDataList()
{
    List1->clear();
    m_listItems.clear();
}

void frmMain::setDataListRed(bool red)
{
    QPalette pal = List1->palette();
    pal.setColor(QPalette::Text, red ? kRed : QColor(0, 0, 0));
    List1->setPalette(pal);
}

void frmMain::render(Sweep &sweep)
{
    // Lines and report texts appear as the run finds them; freeze-frame values in red.
    sweep.onLine = [this, &sweep](const DataLine &line) {
        setDataListRed(sweep.listRed);
        List1->addItem(line.text());
        m_listItems.append({line.item.label, line.code});
    };
    sweep.onReport = [this](const QString &text) { setReportText(text); };
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // Closing by the frame ends the program the way Exit does.
    event->ignore();
    Command1_Click();
}

} // namespace quorvex

#include "windows/mode6/frmmode6.h"

#include "diagnostics/mode6.h"
#include "link/obdcontext.h"
#include "livedata/numberforms.h"
#include "widgets/controls.h"
#include "widgets/indicator.h"
#include "widgets/preferences.h"
#include "widgets/prompts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

namespace quorvex {

namespace {

constexpr quint8 kService = 0x06;
constexpr int kTestMessageBytes = 6;

// A caption box beside an entry or result box; the ones with help are pressed like buttons.
QLabel *caption(const char *name, const QString &text, bool help)
{
    QLabel *label = help ? named(new ClickLabel(text), name) : named(new QLabel(text), name);
    label->setFrameShape(QFrame::Box);
    return label;
}

QLineEdit *box(const char *name, const QString &accessibleName, const QString &text = {},
               bool readOnly = false)
{
    auto *edit = named(new QLineEdit(text), name, accessibleName);
    edit->setReadOnly(readOnly);
    return edit;
}

} // namespace

frmMode6::frmMode6(ObdContext &ctx, Prompts &prompts, QWidget *parent)
    : QMainWindow(parent), m_ctx(ctx), m_prompts(prompts)
{
    setObjectName(QStringLiteral("frmMode6"));
    keep_geometry(this);
    setWindowTitle(QStringLiteral("SAE-J1979 Service $06 "));
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *layout = new QGridLayout(central);

    auto *heading = named(new QLabel(QStringLiteral("Mode 6: Request On-Board Monitoring Test "
                                                    "Results for Non-Continuously Monitored "
                                                    "Systems")),
                          "Label1");
    heading->setWordWrap(true);
    layout->addWidget(heading, 0, 0, 1, 2);
    layout->addWidget(
        named(new QLabel(QStringLiteral("Click labels for help on that item")), "Label2"), 1, 0, 1,
        2);
    auto *prompt =
        box("Text9", QStringLiteral("Prompt"), QStringLiteral("Enter Data then get results"), true);
    layout->addWidget(prompt, 2, 0, 1, 2);

    auto *entry = named(new QGroupBox(QStringLiteral("Data Entry")), "Frame1");
    auto *entryGrid = new QGridLayout(entry);
    auto *text2 = caption("Text2", QStringLiteral("Test ID\n$= Hex\n"), true);
    auto *text4 = caption("Text4", QStringLiteral("Component ID\n$ = Hex\n"), true);
    auto *text6 = caption("Text6", QStringLiteral("Scale Factor"), true);
    auto *text8 = caption("Text8", QStringLiteral("Units"), true);
    Text1 = box("Text1", QStringLiteral("Test ID"));
    Text3 = box("Text3", QStringLiteral("Component ID"));
    Text5 = box("Text5", QStringLiteral("Scale Factor"), QStringLiteral("1"));
    Text22 = box("Text22", QStringLiteral("Add/Subtract"), QStringLiteral("0"));
    Text7 = box("Text7", QStringLiteral("Units"));
    Text12 = box("Text12", QStringLiteral("Bytes Returned"), QStringLiteral("1"));
    const std::pair<QLabel *, QLineEdit *> entries[] = {
        {text2, Text1}, {text4, Text3},
        {text6, Text5}, {caption("Text23", QStringLiteral("Add/Subtract\n"), false), Text22},
        {text8, Text7}, {caption("Text13", QStringLiteral("Bytes Returned"), false), Text12},
    };
    int row = 0;
    for (const auto &[label, edit] : entries) {
        entryGrid->addWidget(label, row, 0);
        entryGrid->addWidget(edit, row++, 1);
    }
    layout->addWidget(entry, 3, 0);

    auto *results = named(new QGroupBox(QStringLiteral("Test Results")), "Frame2");
    auto *resultGrid = new QGridLayout(results);
    Text11 = box("Text11", QStringLiteral("Returned Message"), {}, true);
    Text16 = box("Text16", QStringLiteral("Value"), {}, true);
    Text14 = box("Text14", QStringLiteral("Pass/Fail"), {}, true);
    Text18 = box("Text18", QStringLiteral("MIN"), {}, true);
    Text20 = box("Text20", QStringLiteral("MAX"), {}, true);
    const std::pair<QLabel *, QLineEdit *> outputs[] = {
        {caption("Text10", QStringLiteral("Returned Message"), false), Text11},
        {caption("Text15", QStringLiteral("Value"), false), Text16},
        {caption("Text17", QStringLiteral("Pass/Fail"), false), Text14},
        {caption("Text19", QStringLiteral("MIN"), false), Text18},
        {caption("Text21", QStringLiteral("MAX"), false), Text20},
    };
    row = 0;
    for (const auto &[label, edit] : outputs) {
        resultGrid->addWidget(label, row, 0);
        resultGrid->addWidget(edit, row++, 1);
    }
    layout->addWidget(results, 3, 1);

    Command1 = named(new QPushButton(QStringLiteral("Get Test Results")), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("SCAN for supported tests")), "Command2");
    layout->addWidget(Command1, 4, 0);
    layout->addWidget(Command2, 4, 1);
    layout->addWidget(named(new QLabel(QStringLiteral("Supported Tests")), "Label3"), 5, 1);
    Combo1 = named(new QComboBox, "Combo1", QStringLiteral("Supported Tests"));
    layout->addWidget(Combo1, 6, 1);

    QAction *help = menuBar()->addAction(QStringLiteral("&Mode 6 Help"));
    help->setObjectName(QStringLiteral("mnuM6HLP"));

    connect(Command1, &QPushButton::clicked, this, &frmMode6::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMode6::Command2_Click);
    connect(static_cast<ClickLabel *>(text2), &ClickLabel::clicked, this, &frmMode6::Text2_Click);
    connect(static_cast<ClickLabel *>(text4), &ClickLabel::clicked, this, &frmMode6::Text4_Click);
    connect(static_cast<ClickLabel *>(text6), &ClickLabel::clicked, this, &frmMode6::Text6_Click);
    connect(static_cast<ClickLabel *>(text8), &ClickLabel::clicked, this, &frmMode6::Text8_Click);
    connect(help, &QAction::triggered, this, &frmMode6::mnuM6HLP_Click);
    resize(760, 520);
}

void frmMode6::inputError()
{
    m_prompts.message(
        QStringLiteral("Error in one of the Input Fields, please correct and try again"), QString(),
        Prompts::Icon::None);
}

bool frmMode6::reached(const Mode6Reply &reply)
{
    if (reply.status != ExchangeStatus::Ok && m_outcome)
        m_outcome(reply.status);
    if (!reply.acknowledged) {
        // Refused, or the vehicle not reached at all: either way the pass-through mode was
        // not entered, and the window says so.
        if (reply.status == ExchangeStatus::Ok || vehicle_not_reached(reply.status))
            m_prompts.message(QStringLiteral("PASS command not acknowledged"), QString(),
                              Prompts::Icon::None);
        return false;
    }
    // Entered, but the message got no answer: the window's own "no response".
    return reply.status == ExchangeStatus::Ok || vehicle_not_reached(reply.status);
}

void frmMode6::Command1_Click()
{
    paint(Text16, Qt::white);
    Text11->clear();
    Text1->setText(id_box_text(Text1->text()));
    Text3->setText(id_box_text(Text3->text()));
    const std::optional<int> tid = parse_id(Text1->text());
    const std::optional<int> cid = parse_id(Text3->text());
    const std::optional<double> scale = parse_scale(Text5->text());
    // Nothing is sent for an entry that cannot be read.
    if (!tid || !cid || !scale) {
        inputError();
        return;
    }
    const Mode6Reply reply = RequestMode6(m_ctx, kService, static_cast<quint8>(*tid),
                                          static_cast<quint8>(*cid), kTestMessageBytes);
    if (!reached(reply))
        return;
    if (!reply.positive()) {
        Text11->setText(QStringLiteral(" No Response to this message"));
        return;
    }
    const std::optional<Mode6Result> result = mode6_result(reply.bytes, *scale, Text7->text());
    if (!result) {
        inputError();
        return;
    }
    Text16->setText(result->valueText);
    (result->minimum ? Text18 : Text20)->setText(result->limitText);
    Text14->setText(result->fail ? QStringLiteral("FAIL") : QStringLiteral("PASS"));
    paint(Text14, result->fail ? kRed : QColor(Qt::white));
}

void frmMode6::Command2_Click()
{
    const Mode6Scan scan = ScanMode6Tests(m_ctx);
    // The list is not cleared: a second scan adds its tests below the first one's.
    for (const int test : scan.tests)
        Combo1->addItem(S(test));
    if (scan.last.positive() || !reached(scan.last))
        return;
    if (scan.tests.isEmpty())
        Text11->setText(QStringLiteral(" No Response to this message"));
}

void frmMode6::Text2_Click()
{
    m_prompts.message(QStringLiteral("Enter a value between 0 and 255 or $00 to $FF hex"),
                      QString(), Prompts::Icon::None);
}

void frmMode6::Text4_Click()
{
    m_prompts.message(QStringLiteral("Enter a value between 0 and 255 "), QString(),
                      Prompts::Icon::None);
}

void frmMode6::Text6_Click()
{
    m_prompts.message(QStringLiteral("The Scale Factor should be found in the shop manual\r\n"
                                     "Values can be any real number"),
                      QString(), Prompts::Icon::None);
}

void frmMode6::Text8_Click()
{
    m_prompts.message(
        QStringLiteral("Units can be found in the shop manual, volts,amps, PSI, etc."), QString(),
        Prompts::Icon::None);
}

void frmMode6::mnuM6HLP_Click()
{
    m_prompts.message(
        QStringLiteral(" Mode 6 will allow access to the results of on-board diagnostic "
                       "monitoring\r\nA shop manual with the defined tests is required to get "
                       "meaningfull data"),
        QString(), Prompts::Icon::None);
}

} // namespace quorvex

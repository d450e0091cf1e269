#include "windows/datalog/datalogwindow.h"

#include "link/obdcontext.h"
#include "link/version.h"
#include "livedata/items.h"
#include "livedata/livestate.h"
#include "widgets/controls.h"
#include "widgets/preferences.h"
#include "widgets/prompts.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quorvex {

namespace {
const QString kNoData = QStringLiteral("No Data Selected");
constexpr double kIntervals[] = {0, 1, 2, 5}; // "Max", "1 sec", "2 sec", "5 sec"
} // namespace

DataLog::DataLog(ObdContext &ctx, LiveDataState &live, Prompts &prompts, QWidget *parent)
    : QWidget(parent, Qt::Window), m_ctx(ctx), m_live(live), m_prompts(prompts),
      m_lastFolder(preference(QStringLiteral("datalog/folder"), QDir::homePath()).toString())
{
    setObjectName(QStringLiteral("DataLog"));
    keep_geometry(this);
    setWindowTitle(QStringLiteral("Quorvex Data Logger"));
    auto *layout = new QGridLayout(this);
    layout->addWidget(
        named(new QLabel(QStringLiteral("Select Four Parameters to Record")), "Label1"), 0, 0, 1,
        2);
    layout->addWidget(
        named(new QLabel(QStringLiteral("Select a data item for each drop down box")), "Label6"), 1,
        0, 1, 2);
    static const char *frameNames[] = {"Display_1", "Display_2", "Display_3", "Display_4"};
    static const char *selectorNames[] = {"cboRTD(0)", "cboRTD(1)", "cboRTD(2)", "cboRTD(3)"};
    static const char *nameNames[] = {"Display1_name", "Display2_name", "Display3_name",
                                      "Display4_name"};
    static const char *valueNames[] = {"Display1_value", "Display2_value", "Display3_value",
                                       "Display4_value"};
    for (int k = 0; k < 4; ++k) {
        const QString title = QStringLiteral("Display %1").arg(k + 1);
        auto *frame = named(new QGroupBox(title), frameNames[k]);
        auto *inner = new QVBoxLayout(frame);
        cboRTD[k] = named(new QComboBox, selectorNames[k], title);
        m_names[k] = named(new QLineEdit, nameNames[k], title + QStringLiteral(" item"));
        m_values[k] = named(new QLineEdit, valueNames[k], title + QStringLiteral(" value"));
        m_names[k]->setReadOnly(true);
        m_values[k]->setReadOnly(true);
        inner->addWidget(cboRTD[k]);
        inner->addWidget(m_names[k]);
        inner->addWidget(m_values[k]);
        layout->addWidget(frame, 2 + k / 2, k % 2);
        connect(cboRTD[k], &QComboBox::activated, this, [this, k] { cboRTD_Click(k); });
        // The first selector is there from the start; the others come with the first list.
        cboRTD[k]->setVisible(k == 0);
    }
    auto *intervals = new QGroupBox;
    auto *intervalRow = new QHBoxLayout(intervals);
    static const char *optionNames[] = {"Option1", "Option2", "Option3", "Option4"};
    static const char *captions[] = {"Max", "1 sec", "2 sec", "5 sec"};
    for (int k = 0; k < 4; ++k) {
        m_intervals[k] = named(new QRadioButton(QLatin1String(captions[k])), optionNames[k]);
        intervalRow->addWidget(m_intervals[k]);
    }
    m_intervals[0]->setChecked(true);
    layout->addWidget(intervals, 4, 0, 1, 2);
    Command1 = named(new QPushButton(QStringLiteral("Start Log")), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("Stop Log")), "Command2");
    layout->addWidget(Command1, 5, 0);
    layout->addWidget(Command2, 5, 1);
    connect(Command1, &QPushButton::clicked, this, &DataLog::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &DataLog::Command2_Click);
}

void DataLog::setItems(const QList<std::pair<QString, int>> &items)
{
    for (int k = 0; k < 4; ++k) {
        // Keep a choice whose item is still listed; otherwise line 0, as an untouched one.
        const int oldIndex = m_LogChoice[static_cast<size_t>(k)];
        const int oldCode = oldIndex < m_items.size() ? m_items.at(oldIndex).second : -1;
        int newIndex = 0;
        for (int i = 0; i < items.size(); ++i) {
            if (items.at(i).second == oldCode) {
                newIndex = i;
                break;
            }
        }
        cboRTD[k]->clear();
        for (const auto &[label, code] : items)
            cboRTD[k]->addItem(label);
        cboRTD[k]->setCurrentIndex(items.isEmpty() ? -1 : newIndex);
        cboRTD[k]->setVisible(true);
        m_LogChoice[static_cast<size_t>(k)] = newIndex;
    }
    m_items = items;
}

void DataLog::cboRTD_Click(int index)
{
    if (index < 0 || index > 3)
        return;
    m_LogChoice[static_cast<size_t>(index)] = std::max(cboRTD[index]->currentIndex(), 0);
}

double DataLog::intervalSeconds() const
{
    for (int k = 0; k < 4; ++k)
        if (m_intervals[k]->isChecked())
            return kIntervals[k];
    return 0;
}

void DataLog::showValues(const std::array<QString, 4> &shown)
{
    for (int k = 0; k < 4; ++k)
        m_values[k]->setText(shown[static_cast<size_t>(k)]);
}

bool DataLog::chosenItems(std::array<int, 4> *codes, std::array<QString, 4> *labels) const
{
    for (size_t k = 0; k < 4; ++k) {
        const int line = m_LogChoice[k];
        if (line >= m_items.size() || !has_item(m_items.at(line).second))
            return false;
        (*codes)[k] = m_items.at(line).second;
        (*labels)[k] = m_items.at(line).first;
    }
    return true;
}

void DataLog::Command1_Click()
{
    if (m_logging)
        return;
    std::array<int, 4> codes{};
    std::array<QString, 4> labels;
    if (!chosenItems(&codes, &labels)) {
        m_prompts.message(kNoData, QString(), Prompts::Icon::None);
        return;
    }
    Command1->setEnabled(false);
    Command1->setText(QStringLiteral("Recording"));
    QString fileName = m_prompts.saveFileName(
        QStringLiteral("Log File"), m_lastFolder,
        {QStringLiteral("OBD-II log files (*.log)"), QStringLiteral("All files (*)")});
    if (fileName.isEmpty()) {
        endLog();
        return;
    }
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".log");
    m_lastFolder = QFileInfo(fileName).absolutePath();
    setPreference(QStringLiteral("datalog/folder"), m_lastFolder);
    // Unbuffered: every record goes to the operating system with one write call, so a program
    // killed mid-log leaves whole records only.
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) ||
        file.write(log_header(labels)) < 0) {
        m_prompts.message(QStringLiteral("The log file %1 could not be written: %2")
                              .arg(fileName, file.errorString()),
                          message_title(), Prompts::Icon::Warning);
        endLog();
        return;
    }
    for (int k = 0; k < 4; ++k)
        m_names[k]->setText(labels[static_cast<size_t>(k)]);
    m_LoggingStopped = false;
    m_logging = true;
    const LogEnd end = run_logger(m_ctx, m_live, codes, file, *this, m_onFailure);
    file.close();
    m_logging = false;
    m_LoggingStopped = true;
    if (!end.writeError.isEmpty())
        m_prompts.message(QStringLiteral("The log file %1 could not be written: %2")
                              .arg(fileName, end.writeError),
                          message_title(), Prompts::Icon::Warning);
    endLog();
    hide();
}

void DataLog::Command2_Click()
{
    m_LoggingStopped = true;
}

void DataLog::endLog()
{
    Command1->setEnabled(true);
    Command1->setText(QStringLiteral("Start Log"));
}

} // namespace quorvex

#pragma once

#include <QString>

namespace quorvex {

enum class StatusColor { Red, Yellow, Green };

// What the services write on the main window. The window implements it; tests substitute a
// recording view. Texts are shown exactly as given.
class MainView
{
public:
    virtual ~MainView() = default;

    // Status indicator: text and background colour, set independently.
    virtual void setStatusText(const QString &text) = 0;
    virtual void setStatusColor(StatusColor color) = 0;
    void setStatus(const QString &text, StatusColor color)
    {
        setStatusText(text);
        setStatusColor(color);
    }

    // Report window (status / trouble-code text).
    virtual QString reportText() const = 0;
    virtual void setReportText(const QString &text) = 0;
    void appendReport(const QString &text) { setReportText(reportText() + text); }

    virtual void setEcuNumber(const QString &caption) = 0;       // "ECU #=…"
    virtual void setFirmwareCaption(const QString &caption) = 0; // "F/W: …"
    virtual void setVinText(const QString &text) = 0;            // identification field

    // Vehicle data window.
    virtual void clearDataList() = 0;
    virtual void addDataLine(const QString &line) = 0;
    virtual void setDataListRed(bool red) = 0;
};

} // namespace quorvex

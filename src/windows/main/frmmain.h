#pragma once

#include "diagnostics/definitions.h"
#include "link/elm327/elm327transport.h"
#include "link/obdcontext.h"
#include "link/protocol.h"
#include "link/recording.h"
#include "link/serialtransport.h"
#include "link/tcptransport.h"
#include "link/usb/usblink.h"
#include "livedata/livestate.h"
#include "widgets/indicator.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace quorvex {

class Air_Fuel_Ratio;
class Chart;
class DataLog;
class frmFuel_Trim;
class frmMode5;
class frmMode6;
class OptionButton;
class Prompts;
class Sweep;
class VehicleInfoWindow;

// The state the main window keeps for itself: the speed a port is opened with and what the
// connection learnt.
struct MainState
{
    int BaudRate = 19200;        // 9600 or 19200, chosen before a port is opened
    double FWVersion = 0;        // the interface's firmware version ("V3.40" gives 3.4)
    bool SelectorsReady = false; // the data logger's selectors have their items
};

// What is plugged into the serial port: the scan interface, or an ELM327-compatible adapter
// that the link translates for.
enum class AdapterKind { ScanInterface, Elm327 };

// The main window: builds and names the controls, owns the link session, the serial port and
// the live-data state, wires each control to its handler and renders what the services return.
// Protocol and decoding live in the link, livedata and diagnostics libraries.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    // Every wait, bound and interval of the program runs on `clock`.
    frmMain(Prompts &prompts, Clock &clock, QWidget *parent = nullptr);
    ~frmMain() override;

    ObdContext &context() { return m_ctx; }
    const MainState &mainState() const { return m_state; }
    const LiveDataState &liveData() const { return m_live; }
    // The item shown on each line of the vehicle data window.
    QList<int> ListPID() const
    {
        QList<int> codes;
        for (const auto &[label, code] : m_listItems)
            codes << code;
        return codes;
    }

    // Devices behind Com1..Com4 (empty: no device); set before Form_Load.
    void setComDevices(const std::array<QString, 4> &devices) { m_comDevices = devices; }
    // Where those devices are opened (the system's serial devices unless set); set before
    // Form_Load.
    void setSerialPorts(SerialPorts &ports) { m_recordingPorts.setPorts(&ports); }
    // Records the exchanges of the serial lines and the USB link from now on into `path`;
    // false with the reason when the file cannot be written.
    bool startRecording(const QString &path, QString *error);
    // Where Wi-Fi adapters are connected to (TCP unless set).
    void setNetworkConnector(NetworkConnector &connector) { m_network = &connector; }
    // How the program ends (tests record instead of quitting).
    void setQuitHandler(std::function<void()> quit) { m_quit = std::move(quit); }
    // Where the trouble-code definitions are looked for, in order; set before Form_Load.
    void setTroubleCodeLocations(const QStringList &paths) { m_troubleCodeLocations = paths; }
    static QStringList defaultTroubleCodeLocations();
    // The USB driver kit (it must outlive the window) and the id of the scan interface to
    // look for on it; set before Form_Load. Without a kit "USB" says USB is unavailable.
    void setUsbKit(usb::UsbKit *kit);
    void setUsbDevice(usb::UsbId id) { m_usbId = id; }
    // The adapter on the serial ports; set before Form_Load (the menu changes it later).
    void setAdapterKind(AdapterKind kind);

    void Form_Load();
    void Form_Unload();

    // Handlers of the window's controls and menus.
    void Command1_Click();
    void Command2_Click();
    void Label1_Click();
    void Label3_Click();
    void mnuDebugMode_Click();
    void mnuUnitsEnglish_Click();
    void mnuUnitsMetric_Click();
    void mnu9600_Click();
    void mnu19200_Click();
    void mnu38400_Click();
    void mnu115200_Click();
    void mnuAdapter_Click(AdapterKind kind);
    void mnuConnectionCom_Click(int port);
    void mnuUSB_Click();
    // Asks for the Wi-Fi adapter's address (the one used last offered), remembers it and
    // connects to it.
    void mnuWifi_Click();
    // Connects to the ELM327 adapter at address over the network, as the Com ports connect.
    void connectWifi(const NetworkAddress &address);
    // Whether an ELM327 adapter on a Com port is asked to run its line faster (kept between
    // runs); applied at once while one is connected.
    void mnuRaiseSpeed_Click();
    void ChangeECU_Click();
    void Mode1_Click();
    void Mode2_Click();
    void Mode3_Click();
    void Mode4_Click();
    void PermanentCodes_Click();
    void mnuVehicleInfo_Click();
    void List1_DblClick();
    void mnuDataLogLog_Click();
    void mnuDataLogOpen_Click();
    void mnuRecordExchanges_Click();
    void mnuFTM_Click();
    void mnuAF_Click();
    void Mode5_Click();
    void mnuMode6_Click();
    void LoadTroubleCodes();

    void probe_ports();
    void show_waiting();
    // What the ELM327 adapter reports of itself, under the firmware id; hidden without it.
    void showAdapterFigures();
    // A change of the adapter's line speed is over: the speed that worked is remembered, and a
    // raise the user asked for that the adapter did not take is reported.
    void onLineSpeedSettled();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    // Tells the ELM327 driver the line speeds the menu asks for.
    void applyLineSpeeds();
    // The preference behind mnuRaiseSpeed.
    static constexpr char kRaiseSpeedKey[] = "elm/raiseSpeed";
    void connectHandlers();

    // Rendering what the link and the services report.
    void setStatus(const QString &text, const QColor &color);
    void setStatusColor(const QColor &color);
    void showReadiness(Readiness readiness);
    // The indicator at the end of a service: "ECU Connected" on green for Ok, the time-out
    // text on red for a failed exchange; the ready check's and the lost link's own states
    // stay as they are.
    void showOutcome(ExchangeStatus outcome,
                     const QString &timeoutText = QString::fromUtf16(kEcuTimeout));
    // A handler for the outcome of a window's exchanges: showOutcome with "ECU Timeout".
    std::function<void(ExchangeStatus)> outcomeShower();
    // Connected: the services are offered (the O2 sensor test from firmware above 3.09).
    void offerServices();
    QString reportText() const;
    void setReportText(const QString &text);
    void clearDataList();
    void setDataListRed(bool red);
    void render(Sweep &sweep);
    // What a current-data or freeze-frame run opens up: the logger's items, and the menus of
    // the windows whose items the run found.
    void offerMonitors(bool listed);
    void stopMonitors();
    DataLog *dataLog();
    frmFuel_Trim *fuelTrim();
    Air_Fuel_Ratio *airFuel();

    // False when the link was lost meanwhile: set-up stops there.
    bool get_FWID();
    // Opens the chosen port for the adapter kind chosen; false with the reason.
    bool openSerialLine(int port, QString *error);
    // The line is open: waits for vehicle contact as long as the user lets it, identifies the
    // interface and offers the services. False when it ended first (lost link, Exit).
    bool completeConnection(bool sendingFwid);
    void setServiceButtonsEnabled(bool enabled);
    void onLinkLost(const QString &reason);
    // What the USB link reports: attaches, departures, failed transfers.
    void onUsbAttach(const usb::AttachEvent &event);
    void onUsbDeparted(usb::DeviceHandle device, bool wasHeld);
    void onUsbTransferFailed(int status, const QString &statusText);
    // The USB set-up's wait for contact; false when it was ended instead.
    bool awaitUsbContact();
    bool usbSetupEnded() const;
    void endProgram();
    QAction *comItem(int port) const;

    ObdContext m_ctx;
    Prompts &m_prompts;
    SystemSerialPorts m_systemPorts;
    // Every line opened passes the recorder, which records while a recording runs.
    ExchangeRecorder m_recorder{m_ctx.clock()};
    RecordingPorts m_recordingPorts{&m_systemPorts, m_recorder, [this] {
                                        return m_adapter == AdapterKind::Elm327
                                                   ? QStringLiteral("elm327")
                                                   : QStringLiteral("interface");
                                    }};
    SerialPorts *m_ports = &m_recordingPorts;
    SystemNetworkConnector m_systemNetwork;
    NetworkConnector *m_network = &m_systemNetwork;
    std::unique_ptr<Transport> m_line; // the serial line to the scan interface
    Elm327Transport m_elm;
    AdapterKind m_adapter = AdapterKind::ScanInterface;
    std::unique_ptr<usb::UsbLink> m_usb;
    std::unique_ptr<RecordingTransport> m_usbRecording; // m_usb through the recorder
    usb::UsbId m_usbId;
    bool m_usbSetupRunning = false;
    bool m_usbSetupCancelled = false; // a serial port was chosen meanwhile
    bool m_speedAsked = false;        // the user changed the line speed setting while connected
    bool m_usbDeparted = false;       // the interface waited for was unplugged
    MainState m_state;
    LiveDataState m_live;
    QList<std::pair<QString, int>> m_listItems; // label and item code of each line
    std::array<QString, 4> m_comDevices;
    std::array<bool, 4> m_comUsable{};
    std::function<void()> m_quit;
    bool m_exiting = false;
    QStringList m_troubleCodeLocations = defaultTroubleCodeLocations();
    TroubleCodeDefinitions m_troubleCodes;

    // The windows of the monitoring subsystem: one instance each, created on first use (the
    // chart at start-up) and hidden rather than destroyed.
    Chart *m_chart = nullptr;
    DataLog *m_dataLog = nullptr;
    frmFuel_Trim *m_fuelTrim = nullptr;
    Air_Fuel_Ratio *m_airFuel = nullptr;
    frmMode5 *m_mode5 = nullptr;
    frmMode6 *m_mode6 = nullptr;
    VehicleInfoWindow *m_vehicleInfo = nullptr;

    // Controls, named as the program's vocabulary names them.
    QGroupBox *Frame1 = nullptr;
    OptionButton *Mode1 = nullptr;
    OptionButton *Mode2 = nullptr;
    OptionButton *Mode3 = nullptr;
    OptionButton *Mode4 = nullptr;
    OptionButton *PermanentCodes = nullptr; // service 0A, beside the trouble codes
    OptionButton *Mode5 = nullptr;
    OptionButton *ChangeECU = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label1 = nullptr;
    QPlainTextEdit *textECU = nullptr;
    QLabel *Label2 = nullptr;
    QListWidget *List1 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *lblAdapter = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label4 = nullptr;
    QListWidget *List2 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;

    QMenu *mnuLog = nullptr;
    QAction *mnuDataLogLog = nullptr;
    QAction *mnuDataLogOpen = nullptr;
    QAction *mnuRecordExchanges = nullptr;
    QMenu *mnuCom = nullptr;
    QAction *mnuUSB = nullptr;
    QAction *mnuWifi = nullptr;
    std::array<QAction *, 4> mnuConnectionCom{};
    QAction *mnu9600 = nullptr;
    QAction *mnu19200 = nullptr;
    QAction *mnu38400 = nullptr;
    QAction *mnu115200 = nullptr;
    QAction *mnuAdapterInterface = nullptr;
    QAction *mnuAdapterElm327 = nullptr;
    QAction *mnuRaiseSpeed = nullptr;
    QAction *mnuMode6 = nullptr;
    QAction *mnuVehicleInfo = nullptr;
    QMenu *mnuOpt = nullptr;
    QAction *mnuFTM = nullptr;
    QAction *mnuAF = nullptr;
    QMenu *mnuUnits = nullptr;
    QAction *mnuUnitsEnglish = nullptr;
    QAction *mnuUnitsMetric = nullptr;
    QAction *mnuDebugMode = nullptr;
};

} // namespace quorvex

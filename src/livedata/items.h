#pragma once

#include "link/protocol.h"
#include "livedata/decoders.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace quorvex {

class ObdContext;
struct LiveDataState;

// The single-PID exchange of services 01 and 02: sends mode & PID & length (hex texts) and
// waits for the whole reply, more than 2 x length characters (the status character, two digits
// per byte and the check byte).
Exchange get_ecu_PID(ObdContext &ctx, const QString &mode, const QString &pid,
                     const QString &length);

// A request of service 01 or 02 as the program sends it: the service, the PID and the reply
// length, two hex digits each.
struct PidRequest
{
    QString mode;
    QString pid;
    QString length;
    QString command() const { return mode + pid + length; }
};

Exchange get_ecu_PID(ObdContext &ctx, const PidRequest &request);

// One value item read from the ECU: how its exchanges went and, when they went well, what the
// item shows.
struct Reading
{
    ExchangeStatus status = ExchangeStatus::Ok;
    PidItem item;
    bool ok() const { return status == ExchangeStatus::Ok; }
};

// The item codes of value items: the PIDs of the table except 1F (asked, never listed), and 18
// for the fuel economy.
bool has_item(int code);

// Where mode-aware PIDs are read from: what the last current-data or freeze-frame run chose
// (service PIDmode with PIDoffset extra bytes, the frame after a freeze-frame run), or the
// vehicle's live data (service 01) whatever that run was, for the live displays.
enum class ItemData { LastRun, Live };

// Reads value item `code` as the vehicle data window lists it. Mode-aware PIDs ask the service
// `data` chooses, the others service 01. The coolant shows its value rounded to a whole number;
// a wide-range O2 PID becomes WideO2PID. The fuel economy asks air flow and speed, corrected by
// the equivalence ratio of WideO2PID when a wide-range sensor is known. A code without an item
// reads as nothing, ok.
Reading read_item(ObdContext &ctx, LiveDataState &live, int code,
                  ItemData data = ItemData::LastRun);

// The commands reading value item `code` sends, in order (the fuel economy: air flow, speed and
// the wide-range O2 ratio when one is known).
QStringList item_commands(const LiveDataState &live, int code, ItemData data = ItemData::LastRun);

// The first request the action of PID `pid` in a current-data or freeze-frame pass sends: a
// value item's, or a status PID's (01 the monitors, 03 the fuel system, 06-09 the trims, 12
// the secondary air, 13 and 1D the O2 sensors, 20 and 40 the next range's support); none for
// a PID whose action asks nothing of its own.
std::optional<PidRequest> pass_request(const LiveDataState &live, int pid);

// While it lives, the link knows the commands of the pass under way (an adapter that can asks
// for several in one request); the pass ends with it. The commands are what the program
// expects to send, possibly more than it will (a car whose support changed just costs a PID
// asked in vain). One made while another lives tells what is left of the same pass, and the
// link keeps the replies in hand for the commands both name; its end ends the pass all the
// same, so it is made for the last part of the other's.
class PassAnnouncement
{
public:
    PassAnnouncement(ObdContext &ctx, const QStringList &commands);
    ~PassAnnouncement();
    PassAnnouncement(const PassAnnouncement &) = delete;
    PassAnnouncement &operator=(const PassAnnouncement &) = delete;

private:
    ObdContext &m_ctx;
};

// The equivalence ratio of wide-range O2 PID `pid` (two hex digits), always on service 01:
// numeric value and its signed text.
Reading get_O2_lambda(ObdContext &ctx, const QString &pid);

// A status item: its report lines when its exchange went well.
struct StatusText
{
    ExchangeStatus status = ExchangeStatus::Ok;
    QString text;
    bool ok() const { return status == ExchangeStatus::Ok; }
};

StatusText get_fuel_status(ObdContext &ctx, const LiveDataState &live);        // 03
StatusText get_fuel_trim(ObdContext &ctx, const LiveDataState &live, int pid); // 06 to 09
StatusText get_cmd_sec_air_stat(ObdContext &ctx, const LiveDataState &live);   // 12
// PIDs 13 and 1D (always asks 13): the count line; records the sensors present in O2Sensors
// (set bits only; the entries of clear bits keep their values).
StatusText get_O2_loc(ObdContext &ctx, LiveDataState &live);

} // namespace quorvex

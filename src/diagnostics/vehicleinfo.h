#pragma once

#include "link/protocol.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace quorvex {

class ObdContext;

// Service 09 beyond the VIN. The interface answers "09" & info type & "0A" with the messages
// of every ECU that answered, one after another behind one leading character, 22 characters
// each: three header bytes (the third the ECU's address), 49, the info type, a message number
// from 1, four data bytes and the check byte. An ECU that refuses answers 7F 09 12 in the
// same layout. Reading ends at the first stretch that is not a message (the ready marks that
// follow the reply).
struct InfoMessage
{
    QString ecu;          // the answering ECU's address, two hex digits
    bool refused = false; // a negative response (7F)
    int infoType = 0;
    int number = 0;
    QByteArray data; // the four data bytes
};
QList<InfoMessage> read_info_messages(const QString &reply);

// One counter pair of the in-use performance tracking: how often the monitor completed and
// how often its conditions were met.
struct InUseRatio
{
    QString monitor;
    int completions = 0;
    int conditions = 0;
};

// What one ECU reported.
struct EcuInfo
{
    QString ecu;
    QList<int> infoTypes; // the info types its support bytes name
    bool refused = false; // it refused an info type its support bytes named
    QString name;         // info type 0A, padding removed
    QStringList calibrationIds;
    QStringList cvns;       // eight hex digits each
    int obdConditions = -1; // in-use tracking: general conditions met; -1 when not reported
    int ignitionCycles = -1;
    QList<InUseRatio> ratios;
};

// Decoders of one ECU's joined data bytes (messages in number order).
QList<int> info_types_supported(const QByteArray &support); // 01 to 20 from four bytes
// Sixteen bytes a calibration ID; a text when every character is printable once the padding
// (00 bytes) is removed, else its bytes in hex.
QStringList calibration_ids(const QByteArray &data);
QStringList cvn_texts(const QByteArray &data);                           // four bytes each, as hex
QString ecu_name(const QByteArray &data);                                // twenty bytes, as the IDs
void in_use_counts(int infoType, const QByteArray &data, EcuInfo *info); // 08 or 0B

// The ratio's text: completions / conditions with two decimals, "-" before any condition.
QString in_use_ratio_text(const InUseRatio &ratio);

struct VehicleInfoRun
{
    QList<EcuInfo> ecus; // in the order they first answered
    ExchangeStatus status = ExchangeStatus::Ok;
};

// Asks the support (00) and then each supported info type of 04, 06, 08, 0A and 0B; every
// reply is what arrived within the wait, as for the VIN. A failed exchange adds nothing.
VehicleInfoRun request_vehicle_info(ObdContext &ctx);

// The lines the window shows, copies and prints: each ECU under its address.
QStringList vehicle_info_lines(const VehicleInfoRun &run);

} // namespace quorvex

// The values a simulated device holds: factory values of the description,
// a state file in the configurator's configuration-file format, the running
// clock of date-time parameters, and the network address they define.
#pragma once

#include "DeviceDescription.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QVector>

class DeviceState {
public:
    explicit DeviceState(const DeviceDescription& description);

    const DeviceDescription& description() const { return description_; }

    // Every parameter to its factory value; texts of the device identity
    // and a clock set to the host's local time where the description has none.
    void setFactoryValues();

    // Loads values from an INI file (group "hrc417", one key per parameter
    // name). A missing file is not an error. Entries that are not valid for
    // their parameter keep the factory value and are named in warnings;
    // polled operating values are computed by the device, not loaded.
    bool load(const QString& path, QString& error, QStringList& warnings);
    bool save(const QString& path, QString& error) const;

    QString value(int parameter) const { return values_.value(parameter); }
    void setValue(int parameter, const QString& text);
    QString valueOf(const QString& name) const;  // "" for an unknown name
    // The current reading of a date-time parameter's clock.
    QDateTime clock(int parameter) const;

    // Network address and address mode from "Addr" and "A.Len".
    int address() const;
    bool longAddress() const;

private:
    const DeviceDescription& description_;
    QVector<QString> values_;
    QVector<QDateTime> clockBase_;    // clock reading at clockSetAt_
    QVector<qint64> clockSetAt_;      // monotonic ms
    QElapsedTimer monotonic_;
};

#pragma once

#include <QComboBox>
#include <QString>
#include <QVector>

// The editor of "Порт компьютера": an editable list of the machine's serial
// ports, each with what the system knows of it ("ttyUSB0 — FT232R USB UART
// (A50285BI)"), followed by the stable /dev/serial/by-id/ names of the
// adapters plugged in. Any name or path may be typed instead. What is stored
// is the port's name or the path, never the description.
class PortNameEditor : public QComboBox
{
    Q_OBJECT

public:
    struct Entry
    {
        QString label; // what the list shows
        QString value; // what is stored when the entry is chosen
    };

    explicit PortNameEditor(QWidget *parent = nullptr);

    // The entries of the list for this machine: the ports, then the by-id
    // names; `current` is listed first when it is neither (a pseudo-terminal,
    // an adapter unplugged just now), so opening the editor never loses it.
    static QVector<Entry> machineEntries(const QString &current);
    // The symbolic links of the by-id directory, as entries "path → ttyUSB0".
    static QVector<Entry> byIdEntries(const QString &directory);

    // Where the stable names are looked for ("/dev/serial/by-id"; tests
    // point it elsewhere).
    static QString byIdDirectory();
    static void setByIdDirectory(const QString &directory);

    void setPortName(const QString &value);
    // The chosen entry's value, or the text typed, trimmed.
    QString portName() const;

signals:
    // An entry was picked from the list or Enter pressed in the text.
    void chosen();
};

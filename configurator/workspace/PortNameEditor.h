#pragma once

#include <QComboBox>
#include <QString>
#include <QVector>

// The editor of "Порт компьютера": an editable list of the machine's serial
// ports, each with what the system knows of it ("ttyUSB0 — FT232R USB UART
// (A50285BI)"), followed by the stable by-id names of the
// adapters plugged in (Linux), and the serial device servers' addresses used lately
// (tcp://HOST:PORT, rfc2217://HOST:PORT). Any name, path or address may be
// typed instead; an address's form is checked as it is typed, and one that is
// not well formed is not taken (the text turns red, the tooltip says why).
// What is stored is the port's name, the path or the address, never the
// description.
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

    // Where the stable names are looked for (SerialPortName::stableLinkFolder(),
    // none on Windows; tests point it elsewhere).
    static QString byIdDirectory();
    static void setByIdDirectory(const QString &directory);

    // Server addresses chosen lately, the latest first (at most eight), kept
    // in the program's settings.
    static QStringList recentAddresses();
    static void rememberAddress(const QString &address);

    void setPortName(const QString &value);
    // What is wrong with the address typed (empty: nothing, or no address).
    QString formProblem() const { return formProblem_; }
    // The chosen entry's value, or the text typed, trimmed.
    QString portName() const;

signals:
    // An entry was picked from the list or Enter pressed in the text (not
    // while an address typed is not well formed).
    void chosen();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void checkForm(const QString &text);
    void choose();

    QString formProblem_;
};

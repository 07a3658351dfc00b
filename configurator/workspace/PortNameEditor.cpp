#include "PortNameEditor.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSerialPortInfo>

namespace {

QString byIdOverride;

// "ttyUSB0 — FT232R USB UART, FTDI (A50285BI)": description and maker where
// they say something beyond each other, the serial number in brackets.
QString describedPort(const QSerialPortInfo &info)
{
    QStringList known;
    const QString description = info.description().trimmed();
    const QString maker = info.manufacturer().trimmed();
    if (!description.isEmpty())
        known << description;
    if (!maker.isEmpty() && !description.contains(maker, Qt::CaseInsensitive))
        known << maker;
    QString text = known.join(QStringLiteral(", "));
    const QString serial = info.serialNumber().trimmed();
    if (!serial.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + QLatin1Char('(') + serial + QLatin1Char(')');
    if (text.isEmpty())
        return info.portName();
    return info.portName() + QStringLiteral(" — ") + text;
}

} // namespace

PortNameEditor::PortNameEditor(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    setFrame(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Typed names are taken as they are, not completed into a list entry.
    setCompleter(nullptr);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(24);
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int) { emit chosen(); });
    connect(lineEdit(), &QLineEdit::returnPressed, this, &PortNameEditor::chosen);
}

QString PortNameEditor::byIdDirectory()
{
    return byIdOverride.isEmpty() ? QStringLiteral("/dev/serial/by-id") : byIdOverride;
}

void PortNameEditor::setByIdDirectory(const QString &directory)
{
    byIdOverride = directory;
}

QVector<PortNameEditor::Entry> PortNameEditor::byIdEntries(const QString &directory)
{
    QVector<Entry> entries;
    const QDir dir(directory);
    for (const QFileInfo &link : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!link.isSymLink())
            continue;
        const QString target = QFileInfo(link.symLinkTarget()).fileName();
        const QString path = dir.absoluteFilePath(link.fileName());
        entries.append({target.isEmpty() ? path : path + QStringLiteral(" → ") + target, path});
    }
    return entries;
}

QVector<PortNameEditor::Entry> PortNameEditor::machineEntries(const QString &current)
{
    QVector<Entry> entries;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        entries.append({describedPort(info), info.portName()});
    entries += byIdEntries(byIdDirectory());
    const QString wanted = current.trimmed();
    bool listed = wanted.isEmpty();
    for (const Entry &e : entries)
        listed = listed || e.value == wanted;
    if (!listed)
        entries.prepend({wanted, wanted});
    return entries;
}

void PortNameEditor::setPortName(const QString &value)
{
    clear();
    for (const Entry &e : machineEntries(value))
        addItem(e.label, e.value);
    setCurrentIndex(findData(value.trimmed()));
    // The stored name itself, not its description, is what the text shows.
    setEditText(value);
    lineEdit()->selectAll();
}

QString PortNameEditor::portName() const
{
    const QString text = currentText().trimmed();
    const int chosenEntry = findText(text);
    if (chosenEntry >= 0)
        return itemData(chosenEntry).toString();
    return text;
}

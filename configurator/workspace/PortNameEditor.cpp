#include "PortNameEditor.h"

#include "ConfigStore.h"
#include "NetworkPort.h"
#include "SerialPortName.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QToolTip>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QSettings>
#include <QStyle>

namespace {

QString byIdOverride;
const int recentMax = 8;
const char *const recentKey = "PortNameEditor/recentAddresses";

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
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int) { choose(); });
    connect(lineEdit(), &QLineEdit::textChanged, this, &PortNameEditor::checkForm);
    lineEdit()->installEventFilter(this);
}

bool PortNameEditor::eventFilter(QObject *watched, QEvent *event)
{
    // Enter is the whole edit, taken here once (it goes on neither to the
    // list nor to the view around the editor); on an address that is not
    // well formed it only says why.
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (formProblem_.isEmpty())
                choose();
            else
                QToolTip::showText(lineEdit()->mapToGlobal(QPoint(0, lineEdit()->height())), formProblem_,
                                   lineEdit());
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void PortNameEditor::checkForm(const QString &text)
{
    formProblem_ = NetworkPort::isAddress(text) ? NetworkPort::formProblem(text) : QString();
    // The look's rule for a text not well formed (style.qss) follows the property.
    const bool problem = !formProblem_.isEmpty();
    if (property("hrcFormProblem").toBool() != problem) {
        // The text field takes its colours from the box around it.
        for (QWidget *w : {static_cast<QWidget *>(this), static_cast<QWidget *>(lineEdit())}) {
            w->setProperty("hrcFormProblem", problem);
            w->style()->unpolish(w);
            w->style()->polish(w);
        }
    }
    lineEdit()->setToolTip(formProblem_);
    setToolTip(formProblem_);
}

void PortNameEditor::choose()
{
    const QString value = portName();
    if (NetworkPort::isAddress(value) && NetworkPort::formProblem(value).isEmpty())
        rememberAddress(value);
    emit chosen();
}

QStringList PortNameEditor::recentAddresses()
{
    return ConfigStore::lastConfiguration()->value(QLatin1String(recentKey)).toStringList();
}

void PortNameEditor::rememberAddress(const QString &address)
{
    const std::unique_ptr<QSettings> settings = ConfigStore::lastConfiguration();
    QStringList recent = settings->value(QLatin1String(recentKey)).toStringList();
    recent.removeAll(address);
    recent.prepend(address);
    while (recent.size() > recentMax)
        recent.removeLast();
    settings->setValue(QLatin1String(recentKey), recent);
}

QString PortNameEditor::byIdDirectory()
{
    return byIdOverride.isEmpty() ? SerialPortName::stableLinkFolder() : byIdOverride;
}

void PortNameEditor::setByIdDirectory(const QString &directory)
{
    byIdOverride = directory;
}

QVector<PortNameEditor::Entry> PortNameEditor::byIdEntries(const QString &directory)
{
    QVector<Entry> entries;
    if (directory.isEmpty()) // a system without stable links
        return entries;
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
    for (const QString &address : recentAddresses())
        entries.append({address + QStringLiteral(" — ") + tr("сервер портов"), address});
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

#include "Commands.h"

#include "CliOptions.h"
#include "AtomicFile.h"
#include "BackupStore.h"
#include "CliOutput.h"
#include "CommSettings.h"
#include "ConfigStore.h"
#include "DeviceSearch.h"
#include "DeviceSession.h"
#include "DeviceText.h"
#include "ErrorText.h"
#include "Fleet.h"
#include "KavuComm.h"
#include "NetworkPort.h"
#include "ReportBuilder.h"
#include "ReportWriter.h"
#include "SerialPortName.h"
#include "ValueCodec.h"
#include "kavu_io.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSet>

#include <algorithm>
#include <functional>

namespace {

#include "CommandHelp.inc"

const QString polledSet = QStringLiteral("paramters_interview");

QString text(const char *source)
{
    return QCoreApplication::translate("Commands", source);
}

QString attr(const QDomElement &e, const char *name)
{
    return e.attribute(QLatin1String(name));
}

QString nameOf(const QDomElement &e)
{
    return attr(e, "namekavu");
}

// The text of a parameter's result code, a lost port named as the port of
// the parameter's own document (each site of a fleet has its own).
QString codeText(const QDomElement &p, int code)
{
    HrcDocument document(p.ownerDocument());
    return errorText(code, CommSettings::fromDocument(document).port);
}

int errorCode(const QDomElement &e)
{
    return resultCodeOf(e);
}

bool polled(const QDomElement &e)
{
    return e.hasAttribute(QStringLiteral("ivparam"));
}

// Configuration the device keeps: not the program's own settings, not polled
// operating values, not the device's texts, not its clock.
bool isConfiguration(const QDomElement &e)
{
    return !e.hasAttribute(QStringLiteral("localparam")) && !polled(e) && !e.hasAttribute(QStringLiteral("readonly"))
           && ParameterSpec::fromElement(e).kind != ValueKind::Text && nameOf(e) != QLatin1String("Rtc");
}

// Why text is not a value the parameter takes (its form, limits, value set),
// as one line naming the parameter and the value; empty when it is good.
QString valueProblem(const QDomElement &p, const QString &value)
{
    const QString why = ValueCodec::problem(ParameterSpec::inDocument(p), value.trimmed());
    return why.isEmpty() ? why : text("%1: значение %2 не подходит: %3").arg(nameOf(p), value, why);
}

QString caption(const QDomElement &p)
{
    return HrcDocument::translated(attr(p, "label"));
}

// Resolves names of sets and parameters to parameter elements; false (message
// printed) for a name the description does not hold.
bool resolve(DeviceSession &session, const QStringList &names, CliOutput &out, QVector<QDomElement> *parameters)
{
    for (const QString &name : names) {
        const QDomElement e = session.document().findParameter(name);
        if (e.isNull()) {
            out.error(text("параметра или группы %1 нет в описании прибора").arg(name));
            return false;
        }
        *parameters += HrcDocument::parametersAt(e);
    }
    return true;
}

// A detached copy of the parameters below start with only the named ones
// left, the sets that hold them kept.
QDomElement onlyParameters(const QDomElement &start, const QSet<QString> &names)
{
    QDomElement copy = start.cloneNode(true).toElement();
    QVector<QDomElement> dropped;
    std::function<void(const QDomElement &)> visit = [&](const QDomElement &node) {
        for (QDomElement child = node.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
            if (HrcDocument::isSet(child))
                visit(child);
            else if (HrcDocument::isParameter(child) && !names.contains(nameOf(child)))
                dropped << child;
        }
    };
    visit(copy);
    for (QDomElement &p : dropped)
        p.parentNode().removeChild(p);
    return copy;
}

// Whether a file can be written at path (message printed when not).
bool outputUsable(const QString &path, CliOutput &out)
{
    QString error;
    if (AtomicFile::checkTarget(path, &error))
        return true;
    out.error(ConfigStore::saveFailedText(path, error));
    return false;
}

QStringList namesOf(const QVector<QDomElement> &parameters)
{
    QStringList names;
    for (const QDomElement &p : parameters)
        names << nameOf(p);
    return names;
}

QJsonObject outcomeJson(const QDomElement &p)
{
    QJsonObject o{{QStringLiteral("name"), nameOf(p)}};
    const int code = errorCode(p);
    if (code == 0) {
        o.insert(QStringLiteral("value"), attr(p, "ioValue"));
    } else {
        o.insert(QStringLiteral("error"), code);
        o.insert(QStringLiteral("message"), codeText(p, code));
    }
    return o;
}

// ---------------------------------------------------------------- info

int info(DeviceSession &session, CliOutput &out)
{
    if (!session.run({QStringLiteral("devNames")}, KavuComm::opRead, false, text("Чтение")))
        return DeviceSession::NoDevice;
    const QVector<QDomElement> parameters = HrcDocument::parametersAt(session.document().findParameter(QStringLiteral("devNames")));
    int status = DeviceSession::Success;
    QJsonObject json;
    for (const QDomElement &p : parameters) {
        const int code = errorCode(p);
        if (code != 0)
            status = DeviceSession::Refused;
        const QString value = code == 0 ? attr(p, "ioValue") : codeText(p, code);
        json.insert(nameOf(p), value);
        if (!out.json())
            out.line(caption(p) + QStringLiteral(": ") + value);
    }
    if (out.json()) {
        json.insert(QStringLiteral("link"), session.linkText());
        out.printJson(json);
    } else {
        out.line(text("Связь: %1").arg(session.linkText()));
    }
    return status;
}

// ---------------------------------------------------------------- read

int read(DeviceSession &session, const CliOptions &options, CliOutput &out)
{
    const QStringList names = options.arguments.isEmpty() ? HrcDocument::allSetNames() : options.arguments;
    QVector<QDomElement> all;
    if (!resolve(session, names, out, &all))
        return DeviceSession::BadUsage;
    QVector<QDomElement> parameters;
    for (const QDomElement &p : all) {
        if (!p.hasAttribute(QStringLiteral("localparam")))
            parameters << p;
    }
    // A file that cannot be written is found before the device is asked.
    if (options.has(QStringLiteral("output")) && !outputUsable(options.value(QStringLiteral("output")), out))
        return DeviceSession::BadUsage;
    if (!session.run(names, KavuComm::opRead, true, text("Чтение")))
        return DeviceSession::NoDevice;

    int failed = 0;
    QJsonArray json;
    QSet<QString> answered; // the parameters the device returned in this run
    for (QDomElement p : parameters) {
        const int code = errorCode(p);
        if (code != 0) {
            ++failed;
            out.error(QStringLiteral("%1: %2").arg(nameOf(p), codeText(p, code)));
        } else if (options.has(QStringLiteral("output"))) {
            p.setAttribute(QStringLiteral("value"), attr(p, "ioValue"));
            answered.insert(nameOf(p));
        }
        if (options.has(QStringLiteral("output")))
            continue;
        if (out.json())
            json.append(outcomeJson(p));
        else
            out.line(code == 0 ? nameOf(p) + QLatin1Char('\t') + attr(p, "ioValue")
                               : nameOf(p) + QStringLiteral("\t\t") + codeText(p, code));
    }
    if (options.has(QStringLiteral("output"))) {
        QString error;
        const QString file = options.value(QStringLiteral("output"));
        if (answered.isEmpty()) {
            out.error(text("ни одно значение не прочитано, файл %1 не записан").arg(file));
            return DeviceSession::Refused;
        }
        // Only what the device returned now: a value of an earlier run or a
        // factory value in the file would later be written back as if read.
        const QDomElement values = onlyParameters(session.document().allParams(), answered);
        AtomicFile::Way way = AtomicFile::Way::Replaced;
        if (!ConfigStore::saveFile(values, file, &error, &way)) {
            // The device was read: not a usage error, a result that was lost.
            out.error(ConfigStore::saveFailedText(file, error));
            return DeviceSession::OutputFailed;
        }
        out.note((way == AtomicFile::Way::InPlace ? text("Сохранено на месте прежнего файла %1: прочитано %2, с ошибками %3")
                                                  : text("Сохранено в %1: прочитано %2, с ошибками %3"))
                     .arg(file)
                     .arg(parameters.size() - failed)
                     .arg(failed));
        if (out.json())
            out.printJson(QJsonObject{{QStringLiteral("file"), file},
                                      {QStringLiteral("read"), parameters.size() - failed},
                                      {QStringLiteral("failed"), failed}});
    } else if (out.json()) {
        out.printJson(json);
    }
    return failed ? DeviceSession::Refused : DeviceSession::Success;
}

// ---------------------------------------------------------------- get

int get(DeviceSession &session, const CliOptions &options, CliOutput &out)
{
    if (options.arguments.isEmpty()) {
        out.error(text("не указаны имена параметров"));
        return DeviceSession::BadUsage;
    }
    const QString type = options.has(QStringLiteral("type")) ? options.value(QStringLiteral("type")) : QStringLiteral("raw");
    if (!QStringList{QStringLiteral("raw"), QStringLiteral("byte"), QStringLiteral("short"), QStringLiteral("word"),
                     QStringLiteral("float")}.contains(type)) {
        out.error(text("--type: ожидается raw, byte, short, word или float"));
        return DeviceSession::BadUsage;
    }
    int status = DeviceSession::Success;
    QJsonArray json;
    for (const QString &name : options.arguments) {
        QDomElement p = session.document().findParameter(name);
        if (HrcDocument::isSet(p)) {
            out.error(text("%1 — группа параметров; группы читает команда read").arg(name));
            return DeviceSession::BadUsage;
        }
        if (p.isNull() || p.hasAttribute(QStringLiteral("localparam"))) {
            // As the test panel reads a name: the scratch parameter.
            p = session.document().testParam();
            p.setAttribute(QStringLiteral("namekavu"), name);
            p.setAttribute(QStringLiteral("type"), type);
            if (!session.run({QStringLiteral("testParam")}, KavuComm::opRead, true, text("Чтение")))
                return DeviceSession::NoDevice;
        } else if (!session.run({name}, KavuComm::opRead, true, text("Чтение"))) {
            return DeviceSession::NoDevice;
        }
        const int code = errorCode(p);
        QJsonObject o = outcomeJson(p);
        o.insert(QStringLiteral("name"), name);
        json.append(o);
        if (code != 0) {
            status = DeviceSession::Refused;
            out.error(QStringLiteral("%1: %2").arg(name, codeText(p, code)));
        } else if (!out.json()) {
            out.line(name + QLatin1Char('=') + attr(p, "ioValue"));
        }
    }
    if (out.json())
        out.printJson(json);
    return status;
}

// ------------------------------------------------------- write and read back

struct Verified
{
    QDomElement parameter;
    QString written; // what the write sent, as the device stores it
    int writeCode = codeNotExchanged;
    int readCode = codeNotExchanged;
    QString device;
    bool same = false;
};

// Whether a parameter's code says it was never exchanged: the job was
// interrupted before it (or never connected).
bool notExchanged(int code)
{
    return code == codeNotExchanged || code == codeJobCancelled;
}

// Writes the parameters (their value attributes) and reads them back.
// False when the device could not be reached. An interrupt (Ctrl+C) lets the
// exchange in flight finish and sends nothing more: the results then hold
// what was done, and what was not sent or not read back keeps a code for
// which notExchanged() is true.
bool writeAndVerify(DeviceSession &session, const QVector<QDomElement> &parameters, QVector<Verified> *results)
{
    const QStringList names = namesOf(parameters);
    if (!session.run(names, KavuComm::opWrite, true, text("Запись")) && !DeviceSession::interrupted)
        return false;
    QStringList written;
    for (const QDomElement &p : parameters) {
        Verified v;
        v.parameter = p;
        v.writeCode = errorCode(p);
        v.written = attr(p, "ioValue");
        if (v.writeCode == 0)
            written << nameOf(p);
        results->append(v);
    }
    const bool readBack = !written.isEmpty() && !DeviceSession::interrupted;
    if (readBack && !session.run(written, KavuComm::opRead, true, text("Проверка")) && !DeviceSession::interrupted)
        return false;
    for (Verified &v : *results) {
        if (v.writeCode != 0)
            continue;
        v.readCode = readBack ? errorCode(v.parameter) : int(codeNotExchanged);
        v.device = attr(v.parameter, "ioValue");
        v.same = v.readCode == 0 && ValueCodec::sameText(ParameterSpec::fromElement(v.parameter), v.written, v.device);
    }
    return true;
}

QJsonObject verifiedJson(const Verified &v)
{
    QJsonObject o{{QStringLiteral("name"), nameOf(v.parameter)}, {QStringLiteral("value"), attr(v.parameter, "value")}};
    const int code = v.writeCode != 0 ? v.writeCode : v.readCode;
    if (code != 0) {
        o.insert(QStringLiteral("status"), QStringLiteral("failed"));
        o.insert(QStringLiteral("error"), code);
        o.insert(QStringLiteral("message"), codeText(v.parameter, code));
    } else {
        o.insert(QStringLiteral("status"), v.same ? QStringLiteral("confirmed") : QStringLiteral("differs"));
        o.insert(QStringLiteral("device"), v.device);
    }
    return o;
}

void reportVerified(const Verified &v, CliOutput &out)
{
    const QString name = nameOf(v.parameter);
    // Left out by an interrupt: the summary counts them.
    if (notExchanged(v.writeCode) || (v.writeCode == 0 && notExchanged(v.readCode)))
        return;
    if (v.writeCode != 0)
        out.error(text("%1: не записан: %2").arg(name, codeText(v.parameter, v.writeCode)));
    else if (v.readCode != 0)
        out.error(text("%1: записан, но не прочитан: %2").arg(name, codeText(v.parameter, v.readCode)));
    else if (!v.same)
        out.error(text("%1: записано %2, прибор хранит %3").arg(name, v.written, v.device));
}

// ---------------------------------------------------------------- set

int set(DeviceSession &session, const CliOptions &options, CliOutput &out)
{
    if (options.arguments.isEmpty()) {
        out.error(text("не указаны значения NAME=VALUE"));
        return DeviceSession::BadUsage;
    }
    QVector<QDomElement> parameters;
    QStringList values;
    bool bad = false;
    for (const QString &argument : options.arguments) {
        const int eq = argument.indexOf(QLatin1Char('='));
        const QString name = argument.left(eq);
        QString value = argument.mid(eq + 1);
        const QDomElement p = session.document().findParameter(name);
        if (eq <= 0) {
            out.error(text("%1: ожидается NAME=VALUE").arg(argument));
            bad = true;
            continue;
        }
        if (!HrcDocument::isParameter(p)) {
            out.error(text("параметра %1 нет в описании прибора").arg(name));
            bad = true;
            continue;
        }
        if (p.hasAttribute(QStringLiteral("localparam"))) {
            out.error(text("%1 — настройка программы, а не прибора; порт и таймаут задают --port и --timeout").arg(name));
            bad = true;
            continue;
        }
        if (!HrcDocument::isEditable(p) || ParameterSpec::fromElement(p).kind == ValueKind::Text) {
            out.error(text("параметр %1 только читается").arg(name));
            bad = true;
            continue;
        }
        if (nameOf(p) == QLatin1String("Rtc") && value.compare(QLatin1String("now"), Qt::CaseInsensitive) == 0)
            value = ValueCodec::dateTimeText(QDateTime::currentDateTime());
        if (attr(p, "subtype") == QLatin1String("enumindex")) {
            // An entry may be given by its text as well as by its number.
            const QStringList entries = ValueCodec::entries(attr(p, "valueset"));
            for (int i = 0; i < entries.size(); ++i) {
                if (value == entries.at(i) || value == HrcDocument::translated(entries.at(i)))
                    value = QString::number(i);
            }
        }
        // A number may be given with a decimal point; the document keeps the comma.
        value = ValueCodec::typedValue(ParameterSpec::fromElement(p), value);
        const QString problem = valueProblem(p, value);
        if (!problem.isEmpty()) {
            out.error(problem);
            bad = true;
            continue;
        }
        parameters << p;
        values << value.trimmed();
    }
    if (bad)
        return DeviceSession::BadUsage;

    for (int i = 0; i < parameters.size(); ++i) {
        QDomElement p = parameters[i];
        // A link setting stays in force on the device until it is written.
        if (p.hasAttribute(QStringLiteral("commparam")))
            p.setAttribute(QStringLiteral("undoValue"), CommSettings::valueOrDefault(session.document(), nameOf(p)));
        p.setAttribute(QStringLiteral("value"), values[i]);
    }
    QVector<Verified> results;
    if (!writeAndVerify(session, parameters, &results))
        return DeviceSession::NoDevice;
    int status = DeviceSession::Success;
    QJsonArray json;
    for (const Verified &v : results) {
        reportVerified(v, out);
        if (v.writeCode != 0 || v.readCode != 0)
            status = DeviceSession::Refused;
        else if (!v.same && status == DeviceSession::Success)
            status = DeviceSession::Differs;
        if (out.json())
            json.append(verifiedJson(v));
        else if (v.writeCode == 0 && v.readCode == 0)
            out.line(nameOf(v.parameter) + QLatin1Char('=') + v.device);
    }
    if (out.json())
        out.printJson(json);
    return status;
}

// ---------------------------------------------------------------- write

bool isConfigurationFile(const QString &file, CliOutput &out)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        out.error(ConfigStore::openFailedText(file, f.errorString()));
        return false;
    }
    QSettings settings(file, QSettings::IniFormat);
    if (!settings.childGroups().contains(QLatin1String(ConfigStore::group))) {
        out.error(text("%1 не файл конфигурации HRC417 (нет группы [hrc417])").arg(file));
        return false;
    }
    return true;
}

int write(DeviceSession &session, const CliOptions &options, CliOutput &out)
{
    if (options.arguments.size() != 1) {
        out.error(text("ожидается один файл конфигурации"));
        return DeviceSession::BadUsage;
    }
    const QString file = options.arguments.first();
    if (!isConfigurationFile(file, out))
        return DeviceSession::BadUsage;
    QVector<QDomElement> all;
    if (!resolve(session, options.only.isEmpty() ? HrcDocument::allSetNames() : options.only, out, &all))
        return DeviceSession::BadUsage;
    QString error;
    if (!ConfigStore::openFile(session.document().allParams(), file, &error)) {
        out.error(ConfigStore::openFailedText(file, error));
        return DeviceSession::BadUsage;
    }
    // Only what the file holds: a missing entry is no reason to write a
    // factory value.
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(QLatin1String(ConfigStore::group));
    QVector<QDomElement> parameters;
    for (const QDomElement &p : all) {
        if (isConfiguration(p) && !p.hasAttribute(QStringLiteral("commparam")) && settings.contains(nameOf(p))
            && !parameters.contains(p))
            parameters << p;
    }
    bool bad = false;
    // An empty or broken entry holds no value: sent, it would be the factory
    // value or a cut one. The file is refused and nothing of it is written.
    for (const ConfigStore::EntryFault &fault : ConfigStore::entryFaults(file)) {
        if (std::any_of(parameters.cbegin(), parameters.cend(),
                        [&](const QDomElement &p) { return nameOf(p) == fault.name; })) {
            out.error(file + QStringLiteral(": ") + ConfigStore::faultText(fault));
            bad = true;
        }
    }
    if (bad)
        return DeviceSession::BadUsage;
    for (const QDomElement &p : parameters) {
        const QString problem = valueProblem(p, attr(p, "value"));
        if (!problem.isEmpty()) {
            out.error(problem);
            bad = true;
        }
    }
    if (bad)
        return DeviceSession::BadUsage;

    if (options.dryRun) {
        QJsonArray json;
        for (const QDomElement &p : parameters) {
            if (out.json())
                json.append(QJsonObject{{QStringLiteral("name"), nameOf(p)}, {QStringLiteral("value"), attr(p, "value")}});
            else
                out.line(nameOf(p) + QLatin1Char('\t') + attr(p, "value"));
        }
        if (out.json())
            out.printJson(json);
        out.note(text("Будет записано параметров: %1; ничего не отправлено").arg(parameters.size()));
        return DeviceSession::Success;
    }

    QVector<Verified> results;
    if (!writeAndVerify(session, parameters, &results))
        return DeviceSession::NoDevice;
    int written = 0, confirmed = 0, differ = 0, failed = 0, notSent = 0;
    QJsonArray json;
    for (const Verified &v : results) {
        reportVerified(v, out);
        json.append(verifiedJson(v));
        if (notExchanged(v.writeCode)) {
            ++notSent;
            continue;
        }
        if (v.writeCode == 0 && notExchanged(v.readCode)) {
            ++written; // sent, the read-back interrupted before it
            continue;
        }
        if (v.writeCode != 0 || v.readCode != 0) {
            ++failed;
            if (v.writeCode == 0)
                ++written;
            continue;
        }
        ++written;
        if (v.same)
            ++confirmed;
        else
            ++differ;
    }
    const bool interrupted = DeviceSession::interrupted;
    if (interrupted)
        out.error(text("прервано: обмен, начатый до прерывания, завершён, остальное не отправлено"));
    if (out.json()) {
        QJsonObject summary{{QStringLiteral("written"), written},
                            {QStringLiteral("confirmed"), confirmed},
                            {QStringLiteral("differ"), differ},
                            {QStringLiteral("failed"), failed},
                            {QStringLiteral("parameters"), json}};
        if (interrupted)
            summary.insert(QStringLiteral("notSent"), notSent);
        out.printJson(summary);
    } else {
        QString summary = QStringLiteral("written %1, confirmed %2, differ %3, failed %4")
                              .arg(written)
                              .arg(confirmed)
                              .arg(differ)
                              .arg(failed);
        if (interrupted)
            summary += QStringLiteral(", not sent %1").arg(notSent);
        out.line(summary);
    }
    if (interrupted)
        return DeviceSession::Differs;
    return failed ? DeviceSession::Refused : differ ? DeviceSession::Differs : DeviceSession::Success;
}

// ---------------------------------------------------------------- diff

// The values of one side of a comparison by parameter name; false (message
// printed, *status set) when they cannot be had.
bool sideValues(DeviceSession &session, const QString &side, const QVector<QDomElement> &parameters,
                CliOutput &out, QHash<QString, QString> *values, int *status)
{
    if (side == QLatin1String("device")) {
        if (!session.run(namesOf(parameters), KavuComm::opRead, true, text("Чтение"))) {
            *status = DeviceSession::NoDevice;
            return false;
        }
        for (const QDomElement &p : parameters) {
            const int code = errorCode(p);
            if (code != 0) {
                out.error(QStringLiteral("%1: %2").arg(nameOf(p), codeText(p, code)));
                *status = DeviceSession::Refused;
                return false;
            }
            values->insert(nameOf(p), attr(p, "ioValue"));
        }
        return true;
    }
    if (side == QLatin1String("factory")) {
        for (const QDomElement &p : parameters)
            values->insert(nameOf(p), attr(p, "defaultvalue"));
        return true;
    }
    *status = DeviceSession::BadUsage;
    if (!isConfigurationFile(side, out))
        return false;
    // A document of its own, so the link settings stay those of the session.
    HrcDocument fileDocument = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath));
    QSettings settings(side, QSettings::IniFormat);
    ConfigStore::restoreValues(fileDocument.allParams(), settings, false);
    for (const QDomElement &p : parameters)
        values->insert(nameOf(p), attr(fileDocument.findParameter(nameOf(p)), "value"));
    return true;
}

int diff(DeviceSession &session, const CliOptions &options, CliOutput &out)
{
    if (options.arguments.isEmpty() || options.arguments.size() > 2) {
        out.error(text("ожидается: diff A [B], где A и B — device, factory или файл конфигурации"));
        return DeviceSession::BadUsage;
    }
    const QString a = options.arguments.at(0);
    const QString b = options.arguments.value(1, QStringLiteral("device"));
    QVector<QDomElement> all, parameters;
    resolve(session, HrcDocument::allSetNames(), out, &all);
    for (const QDomElement &p : all) {
        if (isConfiguration(p))
            parameters << p;
    }
    // Files are checked before the device is asked.
    for (const QString &side : {a, b}) {
        if (side != QLatin1String("device") && side != QLatin1String("factory") && !isConfigurationFile(side, out))
            return DeviceSession::BadUsage;
    }
    QHash<QString, QString> left, right;
    int status = DeviceSession::Success;
    if (!sideValues(session, a, parameters, out, &left, &status))
        return status;
    if (b == a)
        right = left;
    else if (!sideValues(session, b, parameters, out, &right, &status))
        return status;

    int differences = 0;
    QJsonArray json;
    for (const QDomElement &p : parameters) {
        const QString name = nameOf(p);
        if (ValueCodec::sameText(ParameterSpec::fromElement(p), left.value(name), right.value(name)))
            continue;
        ++differences;
        if (out.json())
            json.append(QJsonObject{{QStringLiteral("name"), name},
                                    {QStringLiteral("a"), left.value(name)},
                                    {QStringLiteral("b"), right.value(name)},
                                    {QStringLiteral("caption"), caption(p)}});
        else
            out.line(name + QLatin1Char('\t') + left.value(name) + QLatin1Char('\t') + right.value(name)
                     + QLatin1Char('\t') + caption(p));
    }
    if (out.json())
        out.printJson(json);
    return differences ? DeviceSession::Differs : DeviceSession::Success;
}

// ---------------------------------------------------------------- monitor

// Appends one row to the monitor's CSV file, device texts made safe for a
// spreadsheet; false (message printed) when the file did not take it.
bool appendCsvRow(QFile &csv, const QStringList &fields, CliOutput &out)
{
    QStringList safe;
    for (const QString &field : fields)
        safe << DeviceText::csvField(field, QLatin1Char(';'));
    const QByteArray row = (safe.join(QLatin1Char(';')) + QLatin1Char('\n')).toUtf8();
    if (csv.write(row) == row.size() && csv.flush())
        return true;
    out.error(text("запись в файл %1 не удалась: %2").arg(csv.fileName(), csv.errorString()));
    return false;
}

int monitor(DeviceSession &session, const CliOptions &options, CliOutput &out)
{
    QVector<QDomElement> named, parameters;
    if (!resolve(session, options.arguments.isEmpty() ? QStringList{polledSet} : options.arguments, out, &named))
        return DeviceSession::BadUsage;
    for (const QDomElement &p : named) {
        if (!p.hasAttribute(QStringLiteral("localparam"))) // the log file's name and the interval
            parameters << p;
    }
    auto number = [&](const char *option, int low, int high, int fallback, int *value) {
        *value = fallback;
        if (!options.has(QLatin1String(option)))
            return true;
        bool ok = false;
        *value = options.value(QLatin1String(option)).toInt(&ok);
        if (ok && *value >= low && *value <= high)
            return true;
        out.error(text("--%1: ожидается число от %2 до %3").arg(QLatin1String(option)).arg(low).arg(high));
        return false;
    };
    int interval = 0, count = 0;
    if (!number("interval", 0, 600000, 1000, &interval) || !number("count", 1, 1 << 30, 0, &count))
        return DeviceSession::BadUsage;
    const QStringList names = namesOf(parameters);
    QFile csv;
    if (options.has(QStringLiteral("csv"))) {
        csv.setFileName(options.value(QStringLiteral("csv")));
        if (!csv.open(QIODevice::WriteOnly | QIODevice::Append)) {
            out.error(text("Невозможно открыть файл %1: %2").arg(csv.fileName(), csv.errorString()));
            return DeviceSession::BadUsage;
        }
        // The header goes out before the device is asked: a file that takes
        // nothing is found while nothing has been sent.
        if (!appendCsvRow(csv, QStringList{text("Время")} + names, out))
            return DeviceSession::BadUsage;
    }
    if (!out.json())
        out.line(text("Время") + QLatin1Char('\t') + names.join(QLatin1Char('\t')));
    int status = DeviceSession::Success;
    for (int cycle = 0; (count == 0 || cycle < count) && !DeviceSession::interrupted; ++cycle) {
        if (cycle > 0 && !DeviceSession::pause(interval))
            break;
        if (!session.run(names, KavuComm::opRead, true, QString()))
            return DeviceSession::interrupted ? status : int(DeviceSession::NoDevice);
        const QString time = QTime::currentTime().toString(Qt::TextDate);
        QStringList fields;
        QJsonObject values;
        for (const QDomElement &p : parameters) {
            const int code = errorCode(p);
            if (code != 0)
                status = DeviceSession::Refused;
            const QString field = code == 0 ? attr(p, "ioValue") : QStringLiteral("err(%1)").arg(code);
            fields << field;
            values.insert(nameOf(p), field);
        }
        if (out.json())
            out.line(QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("time"), time},
                                                                  {QStringLiteral("values"), values}})
                                           .toJson(QJsonDocument::Compact)));
        else
            out.line(time + QLatin1Char('\t') + fields.join(QLatin1Char('\t')));
        if (csv.isOpen() && !appendCsvRow(csv, QStringList{time} + fields, out))
            return DeviceSession::OutputFailed;
        if (CliOutput::standardOutputError())
            break;
    }
    return status;
}

// ---------------------------------------------------------------- scan

int scan(DeviceSession &session, const CliOptions &options, CliOutput &out)
{
    DeviceSearch::Plan plan;
    if (options.has(QStringLiteral("addresses"))) {
        const QStringList range = options.value(QStringLiteral("addresses")).split(QLatin1Char('-'));
        bool ok1 = false, ok2 = false;
        plan.first = range.value(0).toInt(&ok1);
        plan.last = range.size() == 2 ? range.value(1).toInt(&ok2) : plan.first;
        if (range.size() == 1)
            ok2 = ok1;
        if (!ok1 || !ok2 || plan.first < 1 || plan.last > 2047 || plan.first > plan.last) {
            out.error(text("--addresses: ожидается диапазон A-B внутри 1-2047"));
            return DeviceSession::BadUsage;
        }
        // The 8-bit address mode would ask the device at the low byte instead.
        if (plan.last > ParameterSpec::kShortAddressMax
            && !ParameterSpec::longAddressMode(session.document().findParameter(QStringLiteral("Addr")))) {
            out.error(text("--addresses: адреса больше 255 требуют 11-битного адреса прибора (A.Len = 1)"));
            return DeviceSession::BadUsage;
        }
    }
    const QDomElement speedParameter = session.document().findParameter(QStringLiteral("bPS"));
    plan.speedNames = speedParameter.attribute(QStringLiteral("valueset")).split(QLatin1Char(';'));
    const QString speedOption = options.value(QStringLiteral("speeds"));
    if (!speedOption.isEmpty() && speedOption != QLatin1String("all")) {
        for (const QString &s : speedOption.split(QLatin1Char(','))) {
            const int index = plan.speedNames.indexOf(s.trimmed());
            if (index < 0) {
                out.error(text("--speeds: скорость %1 не поддерживается (%2)").arg(s, plan.speedNames.join(QStringLiteral(", "))));
                return DeviceSession::BadUsage;
            }
            plan.speeds << index;
        }
    }
    // The address and speed used last (or given with --address and --baud)
    // are asked first.
    const CommSettings link = CommSettings::fromDocument(session.document());
    plan.lastAddress = link.address.toInt();
    plan.lastSpeed = link.speed.toInt();
    plan.factoryAddress = session.document().findParameter(QStringLiteral("Addr")).attribute(QStringLiteral("defaultvalue")).toInt();

    // Through a transparent port the server's own line settings hold: only
    // the addresses are asked (the speeds only through RFC 2217), at the
    // link's speed.
    if (NetworkPort::isTransparent(link.port) && plan.speeds.size() != 1) {
        if (plan.speeds.isEmpty() || plan.speeds.contains(plan.lastSpeed))
            plan.speeds = {plan.lastSpeed};
        else
            plan.speeds = {plan.speeds.first()};
        out.error(text("%1: скорость линии задаёт сервер портов, перебираются только адреса "
                       "(скорости — через rfc2217://)").arg(link.port));
    }
    DeviceSearch search;
    search.setSettings(link);
    QJsonArray json;
    int found = 0;
    const bool searched = search.run(
        DeviceSearch::order(plan), plan.speedNames, options.all,
        [&](int done, int total, const DeviceSearch::Attempt &attempt) {
            out.progress(text("Поиск: адрес %1, %2 бит/с").arg(attempt.address).arg(plan.speedNames.value(attempt.speed)), done,
                         total);
        },
        [&](const DeviceSearch::Found &device) {
            ++found;
            out.endProgress();
            if (out.json())
                json.append(QJsonObject{{QStringLiteral("address"), device.address},
                                        {QStringLiteral("speed"), device.bitsPerSecond},
                                        {QStringLiteral("name"), device.name},
                                        {QStringLiteral("version"), device.version},
                                        {QStringLiteral("protocol"), device.protocol}});
            else
                out.line(QStringLiteral("%1\t%2\t%3").arg(device.address).arg(device.bitsPerSecond).arg(device.name));
        });
    out.endProgress();
    if (!searched) {
        out.error(session.connectionFailureText(search.connectFailure(), errorText(KAVU_E_OPEN)));
        return DeviceSession::NoDevice;
    }
    if (out.json())
        out.printJson(json);
    if (!found) {
        out.error(text("ни один прибор не ответил"));
        return DeviceSession::NoDevice;
    }
    return DeviceSession::Success;
}

// ---------------------------------------------------------------- report

// The values of the configuration file's parameters, by name.
QHash<QString, QString> backupValues(const QString &file, const QVector<QDomElement> &parameters)
{
    QHash<QString, QString> values;
    HrcDocument fileDocument = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath));
    QSettings settings(file, QSettings::IniFormat);
    ConfigStore::restoreValues(fileDocument.allParams(), settings, false);
    settings.beginGroup(QLatin1String(ConfigStore::group));
    for (const QDomElement &p : parameters) {
        if (settings.contains(nameOf(p)))
            values.insert(nameOf(p), attr(fileDocument.findParameter(nameOf(p)), "value"));
    }
    return values;
}

int report(DeviceSession &session, const CliOptions &options, CliOutput &out)
{
    if (!options.arguments.isEmpty()) {
        out.error(text("report не принимает аргументов: файл задаёт -o"));
        return DeviceSession::BadUsage;
    }
    QString file = options.value(QStringLiteral("output"));
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    if (file.isEmpty())
        file = QStringLiteral("report_%1.pdf").arg(stamp);
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix != QLatin1String("pdf") && suffix != QLatin1String("html")) {
        out.error(text("-o: ожидается файл .pdf или .html"));
        return DeviceSession::BadUsage;
    }
    if (!outputUsable(file, out))
        return DeviceSession::BadUsage;

    if (!session.run(HrcDocument::allSetNames() + QStringList{polledSet}, KavuComm::opRead, true, text("Чтение")))
        return DeviceSession::NoDevice;
    HrcDocument &doc = session.document();

    QVector<QDomElement> parameters;
    for (const auto &set : ReportBuilder::reportedSets(doc))
        parameters += set.second;
    const CommSettings link = CommSettings::fromDocument(doc);
    const QString deviceFolder = ReportBuilder::deviceFolderName(
        attr(doc.findParameter(QStringLiteral("Dev")), "ioValue"), attr(doc.findParameter(QStringLiteral("ver")), "ioValue"),
        link.address, link.port);
    const QString backupFile = ReportBuilder::newestBackup(deviceFolder);
    const QHash<QString, QString> backup = backupFile.isEmpty() ? QHash<QString, QString>() : backupValues(backupFile, parameters);

    // Who the report is for: the options, else what the configurator's
    // report dialog remembered.
    const std::unique_ptr<QSettings> store = ConfigStore::lastConfiguration();
    store->beginGroup(QStringLiteral("Report"));
    auto person = [&](const char *option, const char *key) {
        const QString name = QLatin1String(option);
        return options.has(name) ? options.value(name) : store->value(QLatin1String(key)).toString();
    };
    const ReportPeople people{person("plant", "Plant"), person("engineer", "Engineer"), person("remark", "Remark")};

    const ReportContent content = ReportBuilder::fromDevice(doc, backup, backupFile, session.linkCounts(), people);
    int changed = 0, failed = 0;
    for (const ReportSet &set : content.sets) {
        for (const ReportRow &row : set.rows) {
            if (row.problem && row.after == QStringLiteral("—"))
                ++failed;
            else if (row.problem)
                ++changed;
        }
    }
    const ReportWriter writer(content);
    QString error;
    if (!writer.write(file, &error)) {
        out.error(text("отчёт не сохранён в %1: %2").arg(file, error));
        return DeviceSession::OutputFailed;
    }
    // A copy beside the device's backups; a failure there is said, not fatal.
    const QString folder = ReportBuilder::backupFolder(deviceFolder);
    const QString copy = QDir(folder).filePath(stamp + QStringLiteral("_report.") + QFileInfo(file).suffix().toLower());
    if (!QDir().mkpath(folder) || !writer.write(copy, &error))
        out.error(text("копия отчёта не сохранена в %1: %2").arg(folder, error));

    out.note(text("Отчёт сохранён в %1: параметров %2, изменено с резервной копии %3, сбоев чтения %4")
                 .arg(file).arg(parameters.size()).arg(changed).arg(failed));
    if (backupFile.isEmpty())
        out.note(text("Резервной копии этого прибора нет: сравнение только с заводскими значениями"));
    if (out.json())
        out.printJson(QJsonObject{{QStringLiteral("file"), file},
                                  {QStringLiteral("copy"), copy},
                                  {QStringLiteral("backup"), backupFile},
                                  {QStringLiteral("parameters"), parameters.size()},
                                  {QStringLiteral("changed"), changed},
                                  {QStringLiteral("failed"), failed}});
    return failed ? DeviceSession::Refused : DeviceSession::Success;
}

} // namespace


QString helpText(const QString &command)
{
    for (const CommandHelp &h : kCommandHelp) {
        if (command == QLatin1String(h.command))
            return QString::fromUtf8(h.text);
    }
    return QString::fromUtf8(kProgramHelp);
}

namespace {

int runOn(DeviceSession &session, const CliOptions &options, CliOutput &out)
{
    const QString &c = options.command;
    if (c == QLatin1String("info"))
        return info(session, out);
    if (c == QLatin1String("read"))
        return read(session, options, out);
    if (c == QLatin1String("get"))
        return get(session, options, out);
    if (c == QLatin1String("set"))
        return set(session, options, out);
    if (c == QLatin1String("write"))
        return write(session, options, out);
    if (c == QLatin1String("diff"))
        return diff(session, options, out);
    if (c == QLatin1String("monitor"))
        return monitor(session, options, out);
    if (c == QLatin1String("report"))
        return report(session, options, out);
    return scan(session, options, out);
}

} // namespace

int runCommand(const CliOptions &options, CliOutput &out, LinkCounts *counts)
{
    if (options.command == QLatin1String("fleet"))
        return runFleet(options, out);
    DeviceSession session(out);
    if (!session.setUp(options))
        return DeviceSession::BadUsage;
    if (options.forget) {
        // The device at this address and port is asked about its names afresh.
        const CommSettings link = CommSettings::fromDocument(session.document());
        BackupStore::forgetNameChecks(link.address.trimmed(), link.port.trimmed());
    }
    const int status = runOn(session, options, out);
    if (counts)
        *counts = session.linkCounts();
    return status;
}

#include "ReportBuilder.h"

#include "BackupStore.h"

#include "CommSettings.h"
#include "ErrorText.h"
#include "HrcDocument.h"
#include "ValueCodec.h"
#include "VisitLog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <functional>

namespace {

const QString kName = QStringLiteral("namekavu");
const QString kNone = QStringLiteral("—");
const int contourCount = 2;
const int pointsPerGraph = 5;

QString attr(const QDomElement &e, const char *name)
{
    return e.attribute(QLatin1String(name));
}

QString curveText(const char *source)
{
    return QCoreApplication::translate("HeatingCurveWin", source);
}

// A value as the tree shows it: an enumeration by index as its entry.
QString shown(const QDomElement &p, const QString &raw)
{
    if (attr(p, "subtype") == QLatin1String("enumindex")) {
        bool ok = false;
        const int index = raw.toInt(&ok);
        const QStringList entries = ValueCodec::entries(attr(p, "valueset"));
        if (ok && index >= 0 && index < entries.size())
            return HrcDocument::translated(entries.at(index));
    }
    return raw;
}

// A value the device gave in this run: the last exchange of the element
// succeeded. Empty when it did not.
bool deviceValueOf(const QDomElement &p, QString *value)
{
    if (p.isNull() || resultCodeOf(p) != codeSuccess)
        return false;
    *value = attr(p, "ioValue");
    return true;
}

QString dateText(const QDateTime &when)
{
    return when.toString(QStringLiteral("dd.MM.yyyy hh:mm"));
}

// Name and versions as the device reported them, "—" where nothing came.
QString identity(HrcDocument &document, const VisitLog *visit, const char *name)
{
    const QString n = QLatin1String(name);
    if (visit && visit->has(n) && visit->entry(n).known)
        return visit->entry(n).deviceValue;
    QString value;
    return deviceValueOf(document.findParameter(n), &value) ? value : kNone;
}

void fillHeader(ReportContent &c, HrcDocument &document, const VisitLog *visit, const ReportPeople &people)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString dev = identity(document, visit, "Dev");
    const QString address = CommSettings::fromDocument(document).address;
    c.header = {
        {ReportBuilder::tr("Объект"), people.plant},
        {ReportBuilder::tr("Инженер"), people.engineer},
        {ReportBuilder::tr("Примечание"), people.remark},
        {ReportBuilder::tr("Дата"), dateText(now)},
        {HrcDocument::translated(QStringLiteral("Наименование прибора")), dev},
        {HrcDocument::translated(QStringLiteral("Версия программы прибора")), identity(document, visit, "ver")},
        {HrcDocument::translated(QStringLiteral("Версия протокола обмена")), identity(document, visit, "p.ver")},
        {HrcDocument::translated(QStringLiteral("Собственный адрес прибора")), address},
        {ReportBuilder::tr("Связь"), ReportBuilder::linkText(document)},
    };
    c.footer = ReportBuilder::tr("%1, адрес %2 — %3").arg(dev, address, dateText(now));
    c.offlineText = ReportBuilder::tr("Отчёт составлен без связи с прибором: значений, полученных от прибора, в нём нет");
    c.legend = ReportBuilder::tr("* — значение отличается от заводского");
    c.signatures = QStringList{ReportBuilder::tr("Инженер %1").arg(people.engineer).trimmed(),
                               ReportBuilder::tr("Представитель владельца объекта")};
}

ReportFields linkFields(const LinkCounts &l)
{
    if (l.isEmpty())
        return {{ReportBuilder::tr("Обмены"), ReportBuilder::tr("обменов с прибором не было")}};
    QString cause;
    switch (likelyCause(l)) {
    case LinkCause::Unknown:
        cause = ReportBuilder::tr("слишком мало обменов для оценки");
        break;
    case LinkCause::Good:
        cause = ReportBuilder::tr("связь в порядке");
        break;
    case LinkCause::NoReplies:
        cause = ReportBuilder::tr("прибор часто не отвечает: адрес, скорость обмена или линия");
        break;
    case LinkCause::DamagedFrames:
        cause = ReportBuilder::tr("ответы искажены: скорость, чётность, согласование или помехи");
        break;
    }
    const int median = l.medianBin();
    QString medianText = kNone;
    if (median >= 0) {
        medianText = LinkCounts::binUpperMs(median) > 0
                         ? ReportBuilder::tr("до %1 мс").arg(LinkCounts::binUpperMs(median))
                         : ReportBuilder::tr("500 мс и более");
    }
    return {
        {ReportBuilder::tr("Обменов"), QString::number(l.exchanges)},
        {ReportBuilder::tr("Попыток"), QString::number(l.attempts)},
        {ReportBuilder::tr("Доля повторов"), ValueCodec::withDecimalComma(QString::number(l.retryRate() * 100.0, 'f', 1)) + QStringLiteral(" %")},
        {ReportBuilder::tr("Нет ответа (таймаут)"), QString::number(l.timeouts)},
        {ReportBuilder::tr("Искажённых ответов"), QString::number(l.crcErrors + l.badReplies)},
        {ReportBuilder::tr("Отказов прибора"), QString::number(l.deviceErrors + l.exceptions)},
        {ReportBuilder::tr("Медиана времени ответа"), medianText},
        {ReportBuilder::tr("Наибольшее время ответа"), ReportBuilder::tr("%1 мс").arg(ValueCodec::withDecimalComma(QString::number(l.worstReplyUs / 1000.0, 'f', 1)))},
        {ReportBuilder::tr("Оценка"), cause},
    };
}

// The heating and return-water graphs of both contours; value gives a
// parameter's value and whether it came from the device.
void fillGraphs(ReportContent &c, const std::function<QString(const QString &, bool *)> &value)
{
    for (int contour = 0; contour < contourCount; ++contour) {
        for (int graph = 0; graph < 2; ++graph) {
            ReportGraph g;
            bool allFromDevice = true;
            auto take = [&](const QString &name) {
                bool fromDevice = false;
                const QString v = value(name, &fromDevice);
                allFromDevice = allFromDevice && fromDevice;
                return v;
            };
            g.title = curveText("Контур %1").arg(contour + 1) + QStringLiteral(": ")
                      + curveText(graph == 0 ? "Отопительный график" : "График температуры обратной воды");
            g.xCaption = curveText("Тн/Тпр");
            g.yCaption = curveText(graph == 0 ? "Tконт" : "Tобр");
            const int count = qBound(0, take(QStringLiteral("Node[%1]").arg(2 * contour + graph)).toInt(), pointsPerGraph);
            for (int i = 0; i < count; ++i) {
                const QString point = take(QStringLiteral("%1[%2]")
                                               .arg(graph == 0 ? QStringLiteral("Grtp") : QStringLiteral("Grtr"))
                                               .arg(pointsPerGraph * contour + i));
                double x = 0, y = 0;
                ValueCodec::parseFloatText(point.section(QLatin1Char(';'), 0, 0), x);
                ValueCodec::parseFloatText(point.section(QLatin1Char(';'), 1, 1), y);
                g.points << QPointF(x, y);
            }
            if (graph == 1) {
                g.hasBand = true;
                ValueCodec::parseFloatText(take(QStringLiteral("Hy.b1[%1]").arg(contour)), g.bandPlus);
                ValueCodec::parseFloatText(take(QStringLiteral("Hy.b2[%1]").arg(contour)), g.bandMinus);
            }
            if (!allFromDevice)
                g.note = ReportBuilder::tr("Не все точки получены от прибора: недостающие взяты из документа");
            c.graphs << g;
        }
    }
}

void fillOperating(ReportContent &c, HrcDocument &document, const std::function<bool(const QDomElement &, QString *)> &value)
{
    for (const QDomElement &p : HrcDocument::parametersAt(document.findParameter(QStringLiteral("paramters_interview")))) {
        QString v;
        if (value(p, &v))
            c.operating << QStringList{HrcDocument::translated(attr(p, "label")), p.attribute(kName), v};
    }
}

} // namespace

QVector<QPair<QString, QVector<QDomElement>>> ReportBuilder::reportedSets(HrcDocument &document)
{
    QVector<QPair<QString, QVector<QDomElement>>> sets;
    // Depth first; a set's own parameters make one table, titled with the
    // titles above it.
    std::function<void(const QDomElement &, const QString &)> walk = [&](const QDomElement &set, const QString &path) {
        if (set.hasAttribute(QStringLiteral("localparam")) || set.hasAttribute(QStringLiteral("ivparam")))
            return;
        const QString title = HrcDocument::translated(set.firstChildElement(QStringLiteral("title")).text().trimmed());
        const QString here = path.isEmpty() ? title : path + QStringLiteral(" / ") + title;
        QVector<QDomElement> own;
        for (QDomElement e = set.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
            if (HrcDocument::isParameter(e) && !e.hasAttribute(QStringLiteral("localparam"))
                && !e.hasAttribute(QStringLiteral("ivparam")) && !e.hasAttribute(QStringLiteral("readonly"))
                && document.spec(e).kind != ValueKind::Text && e.attribute(kName) != QLatin1String("Rtc"))
                own << e;
        }
        if (!own.isEmpty())
            sets.append({here, own});
        for (QDomElement e = set.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
            if (HrcDocument::isSet(e))
                walk(e, here);
        }
    };
    for (const QString &name : HrcDocument::allSetNames())
        walk(document.findParameter(name), QString());
    return sets;
}

QString ReportBuilder::linkText(HrcDocument &doc)
{
    const CommSettings s = CommSettings::fromDocument(doc);
    auto entry = [&doc](const char *name, const QString &index) {
        return doc.findParameter(QLatin1String(name)).attribute(QStringLiteral("valueset")).section(QLatin1Char(';'), index.toInt(), index.toInt());
    };
    return tr("порт %1, %2 бит/с, %3 бит данных, чётность: %4, стоп-бит: %5, адрес %6 (%7-битный), таймаут %8 с")
        .arg(s.port, entry("bPS", s.speed), entry("LEn", s.dataBits),
             HrcDocument::translated(entry("PrtY", s.parity)), entry("Sbit", s.stopBits), s.address,
             entry("A.Len", s.addressMode), CommSettings::valueOrDefault(doc, QStringLiteral("TimeOut")));
}

ReportContent ReportBuilder::fromVisit(HrcDocument &document, const VisitLog &visit, const ReportPeople &people)
{
    ReportContent c;
    c.title = tr("Отчёт о наладке прибора");
    fillHeader(c, document, &visit, people);
    c.header.insert(4, {tr("Начало работы"), dateText(visit.startTime())});
    c.columns = QStringList{tr("Параметр"), tr("Имя"), tr("Заводское"), tr("При первом чтении"), tr("Записано"),
                            tr("Проверка записи")};
    c.offline = visit.isEmpty();
    const QString port = CommSettings::fromDocument(document).port; // named by a lost port's text
    for (const auto &set : reportedSets(document)) {
        ReportSet table{set.first, {}};
        for (const QDomElement &p : set.second) {
            const QString name = p.attribute(kName);
            const VisitLog::Entry e = visit.entry(name);
            const QString factory = attr(p, "defaultvalue");
            ReportRow row;
            row.caption = HrcDocument::translated(attr(p, "label"));
            row.name = name;
            row.factory = shown(p, factory);
            row.before = e.read ? shown(p, e.firstRead) : kNone;
            row.beforeDiffers = e.read && !ValueCodec::sameText(document.spec(p), e.firstRead, factory);
            const bool written = e.writeTried && e.writeCode == 0;
            row.after = written ? shown(p, e.written) : kNone;
            row.afterDiffers = written && !ValueCodec::sameText(document.spec(p), e.written, factory);
            if (!e.writeTried) {
                row.result = tr("не записано");
            } else if (e.writeCode != 0) {
                row.result = tr("сбой: %1").arg(errorText(e.writeCode, port));
                row.problem = true;
            } else if (!e.verified || e.verify == VisitLog::NotChecked) {
                row.result = tr("не проверено");
            } else if (e.verify == VisitLog::Confirmed) {
                row.result = tr("подтверждено");
            } else if (e.verify == VisitLog::Differs) {
                row.result = tr("отличается: прибор хранит %1").arg(shown(p, e.deviceHolds));
                row.problem = true;
            } else {
                row.result = tr("сбой проверки");
                row.problem = true;
            }
            table.rows << row;
        }
        c.sets << table;
    }
    fillGraphs(c, [&](const QString &name, bool *fromDevice) {
        const VisitLog::Entry e = visit.entry(name);
        *fromDevice = e.known;
        return e.known ? e.deviceValue : document.paramValue(name);
    });
    c.linkHealth = linkFields(visit.linkCounts());
    c.operatingTitle = visit.lastPollTime().isValid()
                           ? tr("Рабочие параметры последнего опроса (%1)").arg(dateText(visit.lastPollTime()))
                           : tr("Рабочие параметры последнего опроса");
    const QHash<QString, QString> polled = visit.polledValues();
    fillOperating(c, document, [&](const QDomElement &p, QString *v) {
        if (!polled.contains(p.attribute(kName)))
            return false;
        *v = shown(p, polled.value(p.attribute(kName)));
        return true;
    });
    return c;
}

ReportContent ReportBuilder::fromDevice(HrcDocument &document, const QHash<QString, QString> &backup,
                                        const QString &backupFile, const LinkCounts &link, const ReportPeople &people)
{
    ReportContent c;
    c.title = tr("Отчёт о состоянии прибора");
    fillHeader(c, document, nullptr, people);
    c.header.insert(4, {tr("Резервная копия"), backupFile.isEmpty() ? tr("нет") : backupFile});
    c.columns = QStringList{tr("Параметр"), tr("Имя"), tr("Заводское"), tr("В резервной копии"), tr("В приборе сейчас"),
                            tr("Изменение")};
    bool anyRead = false;
    const QString port = CommSettings::fromDocument(document).port; // named by a lost port's text
    for (const auto &set : reportedSets(document)) {
        ReportSet table{set.first, {}};
        for (const QDomElement &p : set.second) {
            const QString name = p.attribute(kName);
            const QString factory = attr(p, "defaultvalue");
            ReportRow row;
            row.caption = HrcDocument::translated(attr(p, "label"));
            row.name = name;
            row.factory = shown(p, factory);
            const bool inBackup = backup.contains(name);
            row.before = inBackup ? shown(p, backup.value(name)) : kNone;
            row.beforeDiffers = inBackup && !ValueCodec::sameText(document.spec(p), backup.value(name), factory);
            QString now;
            const bool read = deviceValueOf(p, &now);
            anyRead = anyRead || read;
            row.after = read ? shown(p, now) : kNone;
            row.afterDiffers = read && !ValueCodec::sameText(document.spec(p), now, factory);
            if (!read) {
                row.result = tr("сбой чтения: %1").arg(errorText(resultCodeOf(p), port));
                row.problem = true;
            } else if (!inBackup) {
                row.result = tr("нет в копии");
            } else if (ValueCodec::sameText(document.spec(p), backup.value(name), now)) {
                row.result = tr("без изменений");
            } else {
                row.result = tr("изменено");
                row.problem = true;
            }
            table.rows << row;
        }
        c.sets << table;
    }
    c.offline = !anyRead;
    fillGraphs(c, [&](const QString &name, bool *fromDevice) {
        QString v;
        *fromDevice = deviceValueOf(document.findParameter(name), &v);
        return *fromDevice ? v : document.paramValue(name);
    });
    c.linkHealth = linkFields(link);
    c.operatingTitle = tr("Рабочие параметры последнего опроса");
    fillOperating(c, document, [&](const QDomElement &p, QString *v) {
        if (!deviceValueOf(p, v))
            return false;
        *v = shown(p, *v);
        return true;
    });
    return c;
}

QString ReportBuilder::deviceFolderName(const QString &dev, const QString &ver, const QString &address,
                                        const QString &port)
{
    return BackupStore::deviceFolder(dev, ver, address, port);
}

QString ReportBuilder::backupFolder(const QString &deviceFolder)
{
    return BackupStore::root() + QLatin1Char('/') + deviceFolder;
}

QString ReportBuilder::newestBackup(const QString &deviceFolder)
{
    if (deviceFolder.isEmpty())
        return QString(); // an empty folder name would list every device's backups
    const QVector<BackupStore::Entry> backups = BackupStore::list(deviceFolder);
    return backups.isEmpty() ? QString() : backups.first().path;
}

#include "Fleet.h"

#include "CliOptions.h"
#include "CliOutput.h"
#include "Commands.h"
#include "DeviceSession.h"
#include "FleetFile.h"
#include "HrcDocument.h"
#include "LinkHealth.h"
#include "ParameterSpec.h"
#include "SerialPortName.h"
#include "ValueCodec.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

QString text(const char *source)
{
    return QCoreApplication::translate("Fleet", source);
}

const QStringList &fleetCommands()
{
    static const QStringList names{QStringLiteral("info"), QStringLiteral("read"),  QStringLiteral("diff"),
                                   QStringLiteral("set"),  QStringLiteral("write"), QStringLiteral("report")};
    return names;
}

// One site's run: what it is asked, and, once its thread is done, how it went.
struct SiteRun
{
    FleetSite site;
    CliOptions options; // the single-device command run for the site
    QString prepareError; // set before the start: the site is not run

    // Written by the site's thread, read by the main thread under the lock.
    bool started = false;
    bool finished = false;
    int status = -1; // -1: not run
    bool interrupted = false; // Ctrl+C came while it ran
    qint64 ms = 0;
    QJsonValue output; // the command's JSON
    QStringList messages;
    LinkCounts counts;
    QString label;
    int done = 0;
    int total = 0;
};

// What a site's command writes, kept with the site.
class SiteSink : public CliOutput::Sink
{
public:
    SiteSink(SiteRun &siteRun, QMutex &lock) : run(siteRun), mutex(lock) {}
    void line(const QString &) override {}
    void json(const QJsonValue &value) override
    {
        QMutexLocker locker(&mutex);
        run.output = value;
    }
    void message(const QString &text) override
    {
        QMutexLocker locker(&mutex);
        run.messages << text;
    }
    void progress(const QString &label, int done, int total) override
    {
        QMutexLocker locker(&mutex);
        run.label = label;
        run.done = done;
        run.total = total;
    }

private:
    SiteRun &run;
    QMutex &mutex;
};

// The order of badness of exit statuses, best first: a site that differs
// is better than one that refused, which is better than one not reached;
// a fault of the command or the file is the worst.
int severity(int status)
{
    switch (status) {
    case DeviceSession::Success:
        return 0;
    case DeviceSession::Differs:
        return 1;
    case DeviceSession::Refused:
        return 2;
    case DeviceSession::NoDevice:
        return 3;
    default:
        return 4;
    }
}

// The newest file of DIR/<site> with the backups' suffix (their names start
// with the time they were made); empty when there is none.
QString newestBackup(const QString &dir, const QString &site)
{
    const QStringList files = QDir(QDir(dir).filePath(site))
                                  .entryList({QStringLiteral("*.hrc417")}, QDir::Files, QDir::Name | QDir::Reversed);
    return files.isEmpty() ? QString() : QDir(QDir(dir).filePath(site)).filePath(files.first());
}

// The values a set --dry-run would send, as the device would store them.
struct Wanted
{
    QString name;
    QString value;
};

// What a site's outcome was, in words and numbers for the table.
struct Summary
{
    QString result;
    QString values;
    QJsonObject numbers;
};

Summary summarize(const QString &command, bool dryRun, const QVector<Wanted> &wanted, const SiteRun &run,
                  const HrcDocument &document, QStringList *changes)
{
    Summary s;
    switch (run.status) {
    case -1:
        s.result = text("не выполнено");
        break;
    case DeviceSession::Differs:
        if (run.interrupted) {
            s.result = text("прервано");
            break;
        }
        s.result = command == QLatin1String("diff") ? text("различается")
                   : (command == QLatin1String("read") || command == QLatin1String("report")) ? text("не сохранено")
                                                                                              : text("расхождения");
        break;
    case DeviceSession::Success:
        s.result = text("готово");
        break;
    case DeviceSession::BadUsage:
        s.result = text("ошибка");
        break;
    case DeviceSession::NoDevice:
        s.result = text("нет связи");
        break;
    default:
        s.result = text("отказ");
        break;
    }
    auto number = [&](const char *key, int value) { s.numbers.insert(QLatin1String(key), value); };
    const QJsonObject o = run.output.toObject();
    const QJsonArray a = run.output.toArray();
    if (dryRun && command == QLatin1String("set")) {
        // The device's values against the wanted ones.
        QHash<QString, QString> device;
        for (const QJsonValue &v : a)
            device.insert(v.toObject().value(QStringLiteral("name")).toString(), v.toObject().value(QStringLiteral("value")).toString());
        int change = 0;
        for (const Wanted &w : wanted) {
            if (!device.contains(w.name))
                continue;
            const ParameterSpec spec = ParameterSpec::fromElement(document.findParameter(w.name));
            if (ValueCodec::sameText(spec, device.value(w.name), w.value))
                continue;
            ++change;
            changes->append(QStringLiteral("%1\t%2\t%3 -> %4").arg(run.site.name, w.name, device.value(w.name), w.value));
        }
        if (run.status == DeviceSession::Success && change > 0)
            s.result = text("изменится");
        number("wouldChange", change);
        s.values = text("изменится %1").arg(change);
        return s;
    }
    if (command == QLatin1String("info") && !o.isEmpty()) {
        s.values = (o.value(QStringLiteral("Dev")).toString() + QLatin1Char(' ') + o.value(QStringLiteral("ver")).toString()).trimmed();
    } else if (command == QLatin1String("read") && !o.isEmpty()) {
        number("read", o.value(QStringLiteral("read")).toInt());
        number("failed", o.value(QStringLiteral("failed")).toInt());
        s.values = text("прочитано %1, ошибок %2").arg(o.value(QStringLiteral("read")).toInt()).arg(o.value(QStringLiteral("failed")).toInt());
    } else if (command == QLatin1String("diff") && run.output.isArray()) {
        // A write --dry-run is a diff of the file against the device.
        for (const QJsonValue &v : a) {
            const QJsonObject d = v.toObject();
            changes->append(QStringLiteral("%1\t%2\t%3 -> %4")
                                .arg(run.site.name, d.value(QStringLiteral("name")).toString(),
                                     d.value(QStringLiteral("b")).toString(), d.value(QStringLiteral("a")).toString()));
        }
        if (dryRun) {
            if (run.status == DeviceSession::Differs)
                s.result = text("изменится");
            number("wouldChange", a.size());
            s.values = text("изменится %1").arg(a.size());
        } else {
            number("differing", a.size());
            s.values = text("различий %1").arg(a.size());
        }
    } else if (command == QLatin1String("set") && run.output.isArray()) {
        int written = 0, confirmed = 0, differ = 0, failed = 0;
        for (const QJsonValue &v : a) {
            const QString status = v.toObject().value(QStringLiteral("status")).toString();
            if (status == QLatin1String("failed")) {
                ++failed;
                continue;
            }
            ++written;
            if (status == QLatin1String("confirmed"))
                ++confirmed;
            else
                ++differ;
        }
        number("written", written);
        number("confirmed", confirmed);
        number("differ", differ);
        number("failed", failed);
        s.values = text("записано %1, подтверждено %2, расхождений %3, сбоев %4").arg(written).arg(confirmed).arg(differ).arg(failed);
    } else if (command == QLatin1String("write") && !o.isEmpty()) {
        for (const char *key : {"written", "confirmed", "differ", "failed"})
            number(key, o.value(QLatin1String(key)).toInt());
        s.values = text("записано %1, подтверждено %2, расхождений %3, сбоев %4")
                       .arg(o.value(QStringLiteral("written")).toInt())
                       .arg(o.value(QStringLiteral("confirmed")).toInt())
                       .arg(o.value(QStringLiteral("differ")).toInt())
                       .arg(o.value(QStringLiteral("failed")).toInt());
    } else if (command == QLatin1String("report") && !o.isEmpty()) {
        number("changed", o.value(QStringLiteral("changed")).toInt());
        number("failed", o.value(QStringLiteral("failed")).toInt());
        s.values = text("изменено %1, сбоев %2").arg(o.value(QStringLiteral("changed")).toInt()).arg(o.value(QStringLiteral("failed")).toInt());
    }
    return s;
}

QString healthText(const LinkCounts &counts)
{
    if (counts.isEmpty())
        return QStringLiteral("—");
    return text("повторы %1%").arg(counts.retryRate() * 100, 0, 'f', 1);
}

// Lays rows out as columns two spaces apart.
QStringList tableLines(const QVector<QStringList> &rows)
{
    QVector<int> width;
    for (const QStringList &row : rows) {
        width.resize(qMax(width.size(), row.size()));
        for (int c = 0; c < row.size(); ++c)
            width[c] = qMax(width[c], row.at(c).size());
    }
    QStringList lines;
    for (const QStringList &row : rows) {
        QString line;
        for (int c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row.at(c).leftJustified(width[c] + 2) : row.at(c);
        lines << line;
    }
    return lines;
}

} // namespace

int runFleet(const CliOptions &options, CliOutput &out)
{
    if (options.arguments.size() < 2) {
        out.error(text("ожидается: fleet FILE COMMAND, где COMMAND — %1").arg(fleetCommands().join(QStringLiteral(", "))));
        return DeviceSession::BadUsage;
    }
    const QString file = options.arguments.at(0);
    const QString command = options.arguments.at(1);
    const QStringList rest = options.arguments.mid(2);
    if (!fleetCommands().contains(command)) {
        out.error(text("fleet: неизвестная команда %1 (есть %2)").arg(command, fleetCommands().join(QStringLiteral(", "))));
        return DeviceSession::BadUsage;
    }
    const QString dir = options.value(QStringLiteral("dir"));
    if ((command == QLatin1String("read") || command == QLatin1String("report")) && dir.isEmpty()) {
        out.error(text("fleet %1: папку задаёт -d DIR").arg(command));
        return DeviceSession::BadUsage;
    }
    if (command == QLatin1String("diff") && rest.isEmpty() && dir.isEmpty()) {
        out.error(text("fleet diff: ожидается REF или -d DIR с резервными копиями"));
        return DeviceSession::BadUsage;
    }
    if ((command == QLatin1String("write") && rest.size() != 1) || (command == QLatin1String("set") && rest.isEmpty())
        || (command == QLatin1String("diff") && rest.size() > 1)
        || ((command == QLatin1String("info") || command == QLatin1String("report")) && !rest.isEmpty())) {
        out.error(text("fleet %1: неверные аргументы; справка: hrc417 fleet --help").arg(command));
        return DeviceSession::BadUsage;
    }
    const bool dryRun = options.dryRun;
    if (dryRun && command != QLatin1String("set") && command != QLatin1String("write")) {
        out.error(text("--dry-run: только для set и write"));
        return DeviceSession::BadUsage;
    }
    int jobs = 1;
    if (options.has(QStringLiteral("jobs"))) {
        bool ok = false;
        jobs = options.value(QStringLiteral("jobs")).toInt(&ok);
        if (!ok || jobs < 1 || jobs > 256) {
            out.error(text("-j: ожидается число от 1 до 256"));
            return DeviceSession::BadUsage;
        }
    }
    const HrcDocument document = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath));
    const QStringList speeds =
        document.findParameter(QStringLiteral("bPS")).attribute(QStringLiteral("valueset")).split(QLatin1Char(';'));
    QVector<FleetSite> sites;
    QString error;
    if (!FleetFile::load(file, speeds, &sites, &error)) {
        out.error(error);
        return DeviceSession::BadUsage;
    }

    // What set --dry-run compares: the values as set would send them.
    QVector<Wanted> wanted;
    if (command == QLatin1String("set")) {
        for (const QString &argument : rest) {
            const int eq = argument.indexOf(QLatin1Char('='));
            const QDomElement p = document.findParameter(argument.left(eq));
            if (eq <= 0 || !HrcDocument::isParameter(p)) {
                out.error(text("%1: ожидается NAME=VALUE с параметром из описания прибора").arg(argument));
                return DeviceSession::BadUsage;
            }
            QString value = argument.mid(eq + 1).trimmed();
            if (p.attribute(QStringLiteral("subtype")) == QLatin1String("enumindex")) {
                const QStringList entries = ValueCodec::entries(p.attribute(QStringLiteral("valueset")));
                for (int i = 0; i < entries.size(); ++i) {
                    if (value == entries.at(i) || value == HrcDocument::translated(entries.at(i)))
                        value = QString::number(i);
                }
            }
            wanted.append({argument.left(eq), ValueCodec::typedValue(ParameterSpec::fromElement(p), value)});
        }
    }

    // Each site's own command: the link options of the command line, then
    // the site's columns; its results as JSON for the table.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    std::vector<std::unique_ptr<SiteRun>> runs;
    for (const FleetSite &site : sites) {
        auto run = std::make_unique<SiteRun>();
        run->site = site;
        CliOptions &o = run->options;
        o.json = true;
        o.verbose = options.verbose;
        o.forget = options.forget;
        for (const char *key : {"baud", "parity", "data-bits", "stop-bits", "timeout", "lang"}) {
            if (options.has(QLatin1String(key)))
                o.values.insert(QLatin1String(key), options.value(QLatin1String(key)));
        }
        for (auto it = site.values.cbegin(); it != site.values.cend(); ++it)
            o.values.insert(it.key(), it.value());
        const QString siteDir = QDir(dir).filePath(site.name);
        if (command == QLatin1String("info")) {
            o.command = command;
        } else if (command == QLatin1String("read")) {
            o.command = command;
            o.arguments = rest;
            o.values.insert(QStringLiteral("output"), QDir(siteDir).filePath(stamp + QStringLiteral(".hrc417")));
        } else if (command == QLatin1String("report")) {
            o.command = command;
            o.values.insert(QStringLiteral("output"), QDir(siteDir).filePath(stamp + QStringLiteral(".pdf")));
            for (const char *key : {"plant", "engineer", "remark"}) {
                if (options.has(QLatin1String(key)))
                    o.values.insert(QLatin1String(key), options.value(QLatin1String(key)));
            }
        } else if (command == QLatin1String("diff")) {
            o.command = command;
            const QString reference = rest.isEmpty() ? newestBackup(dir, site.name) : rest.first();
            if (reference.isEmpty())
                run->prepareError = text("нет резервной копии в %1").arg(siteDir);
            o.arguments = QStringList{reference, QStringLiteral("device")};
        } else if (command == QLatin1String("set")) {
            o.command = dryRun ? QStringLiteral("read") : command;
            if (dryRun) {
                for (const Wanted &w : wanted)
                    o.arguments << w.name;
            } else {
                o.arguments = rest;
            }
        } else { // write
            o.command = dryRun ? QStringLiteral("diff") : command;
            o.arguments = dryRun ? QStringList{rest.first(), QStringLiteral("device")} : rest;
            o.only = options.only;
        }
        runs.push_back(std::move(run));
    }

    // Sites on one port take turns in one thread; each port gets a library
    // slot of its own, so that different ports are worked at once.
    QVector<QVector<int>> groups;
    QHash<QByteArray, int> groupOf;
    QVector<int> slotOf;
    QSet<int> fixedSlots; // COMk ports keep their own number
    for (size_t i = 0; i < runs.size(); ++i) {
        const SerialPortName port = SerialPortName::resolve(runs[i]->site.values.value(QStringLiteral("port")));
        if (port.device.isEmpty())
            fixedSlots.insert(port.portIndex);
    }
    int nextSlot = SerialPortName::boundPort;
    for (size_t i = 0; i < runs.size(); ++i) {
        const SerialPortName port = SerialPortName::resolve(runs[i]->site.values.value(QStringLiteral("port")));
        const QByteArray key = port.device.isEmpty() ? QByteArray::number(port.portIndex) : port.device;
        if (!groupOf.contains(key)) {
            groupOf.insert(key, groups.size());
            groups.append(QVector<int>());
            int slot = -1;
            if (!port.device.isEmpty()) {
                while (nextSlot > 0 && fixedSlots.contains(nextSlot))
                    --nextSlot;
                slot = nextSlot > 0 ? nextSlot-- : SerialPortName::boundPort;
            }
            slotOf.append(slot);
        }
        const int g = groupOf.value(key);
        groups[g].append(int(i));
        runs[i]->options.librarySlot = slotOf.at(g);
    }

    QMutex mutex;
    auto runGroup = [&](int g) {
        for (int index : groups.at(g)) {
            SiteRun &run = *runs[size_t(index)];
            if (DeviceSession::interrupted)
                break;
            {
                QMutexLocker locker(&mutex);
                run.started = true;
            }
            QElapsedTimer clock;
            clock.start();
            int status = DeviceSession::BadUsage;
            LinkCounts counts;
            SiteSink sink(run, mutex);
            CliOutput caught(true, &sink);
            const QString output = run.options.value(QStringLiteral("output"));
            if (!run.prepareError.isEmpty())
                caught.error(run.prepareError);
            else if (!output.isEmpty() && !QDir().mkpath(QFileInfo(output).absolutePath()))
                caught.error(text("папка %1 не создана").arg(QFileInfo(output).absolutePath()));
            else
                status = runCommand(run.options, caught, &counts);
            QMutexLocker locker(&mutex);
            // Cut short by Ctrl+C: what it did is kept, but it is no failure
            // of the device.
            run.interrupted = DeviceSession::interrupted && status != DeviceSession::Success;
            run.status = run.interrupted ? int(DeviceSession::Differs) : status;
            run.counts = counts;
            run.ms = clock.elapsed();
            run.finished = true;
        }
    };

    // The groups run in threads of their own, at most jobs at once; the main
    // thread starts them, draws the progress and waits.
    QEventLoop loop;
    QObject context;
    std::vector<std::unique_ptr<QThread>> threads;
    int running = 0;
    int nextGroup = 0;
    std::function<void()> startMore = [&] {
        while (running < jobs && nextGroup < groups.size() && !DeviceSession::interrupted) {
            const int g = nextGroup++;
            std::unique_ptr<QThread> thread(QThread::create([&runGroup, g] { runGroup(g); }));
            QObject::connect(thread.get(), &QThread::finished, &context, [&] {
                --running;
                startMore();
            }, Qt::QueuedConnection);
            ++running;
            thread->start();
            threads.push_back(std::move(thread));
        }
        if (running == 0)
            loop.quit();
    };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &context, [&] {
        QStringList lines;
        QMutexLocker locker(&mutex);
        for (const auto &run : runs) {
            if (!run->started || run->finished)
                continue;
            QString bar;
            if (run->total > 0) {
                const int width = 20;
                const int filled = qBound(0, run->done * width / run->total, width);
                bar = QStringLiteral("[%1%2] %3/%4")
                          .arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char('-')))
                          .arg(run->done)
                          .arg(run->total);
            }
            // Before the first progress the site is connecting.
            lines << QStringLiteral("%1  %2 %3").arg(run->site.name, run->label.isEmpty() ? text("соединение…") : run->label, bar);
        }
        locker.unlock();
        out.progressLines(lines);
    });
    tick.start(200);
    QTimer::singleShot(0, &context, startMore);
    loop.exec();
    tick.stop();
    for (auto &thread : threads)
        thread->wait();
    out.endProgress();

    // The table, the messages of the sites, the worst status.
    int worst = DeviceSession::Success;
    QVector<QStringList> rows{{text("Объект"), text("Итог"), text("Время"), text("Значения"), text("Связь")}};
    QJsonArray json;
    QStringList changes;
    for (const auto &run : runs) {
        const Summary s = summarize(command, dryRun, wanted, *run, document, &changes);
        // A site left out by an interrupt counts as one that was not done.
        int status = run->status < 0 ? int(DeviceSession::Differs) : run->status;
        // A dry run that finds what would change has done what it was asked.
        if (dryRun && status == DeviceSession::Differs && run->status >= 0)
            status = DeviceSession::Success;
        if (severity(status) > severity(worst))
            worst = status;
        const QString time = run->status < 0 ? QStringLiteral("—") : text("%1 с").arg(run->ms / 1000.0, 0, 'f', 1);
        rows.append({run->site.name, s.result, time, s.values, run->status < 0 ? QStringLiteral("—") : healthText(run->counts)});
        QJsonObject site{{QStringLiteral("name"), run->site.name},
                         {QStringLiteral("line"), run->site.line},
                         {QStringLiteral("port"), run->site.values.value(QStringLiteral("port"))},
                         {QStringLiteral("address"), run->site.values.value(QStringLiteral("address")).toInt()},
                         {QStringLiteral("status"), run->status},
                         {QStringLiteral("interrupted"), run->interrupted},
                         {QStringLiteral("result"), s.result},
                         {QStringLiteral("ms"), run->ms},
                         {QStringLiteral("values"), s.numbers},
                         {QStringLiteral("messages"), QJsonArray::fromStringList(run->messages)},
                         {QStringLiteral("output"), run->output}};
        if (!run->counts.isEmpty()) {
            site.insert(QStringLiteral("attempts"), double(run->counts.attempts));
            site.insert(QStringLiteral("retryRate"), run->counts.retryRate());
        }
        const QString output = run->options.value(QStringLiteral("output"));
        if (!output.isEmpty() && run->status == DeviceSession::Success)
            site.insert(QStringLiteral("file"), output);
        json.append(site);
        for (const QString &message : run->messages)
            out.error(run->site.name + QStringLiteral(": ") + message);
    }
    if (DeviceSession::interrupted)
        out.error(text("прервано: начатые обмены завершены, остальные объекты не опрошены"));
    if (out.json()) {
        out.printJson(QJsonObject{{QStringLiteral("command"), command},
                                  {QStringLiteral("dryRun"), dryRun},
                                  {QStringLiteral("status"), worst},
                                  {QStringLiteral("sites"), json}});
    } else {
        for (const QString &change : changes)
            out.line(change);
        for (const QString &line : tableLines(rows))
            out.line(line);
    }
    return worst;
}

#include "LinkHealthPanel.h"

#include "HrcTreeWorkers.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

LinkHealthPanel::LinkHealthPanel(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("linkHealthPanel"));
    setFrameShape(QFrame::StyledPanel);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);

    auto *title = new QLabel(tr("Состояние связи"), this);
    title->setStyleSheet(QStringLiteral("font-weight: bold;"));
    grid->addWidget(title, 0, 0, 1, 2);

    auto addField = [this, grid](int row, int column, const QString &caption, const char *name) {
        grid->addWidget(new QLabel(caption, this), row, column * 2);
        auto *value = new QLabel(this);
        value->setObjectName(QLatin1String(name));
        value->setMinimumWidth(70);
        grid->addWidget(value, row, column * 2 + 1);
        return value;
    };
    exchangesValue = addField(1, 0, tr("Обменов"), "exchangesValue");
    retriesValue = addField(2, 0, tr("Повторов"), "retriesValue");
    timeoutsValue = addField(1, 1, tr("Тайм-аутов"), "timeoutsValue");
    damagedValue = addField(2, 1, tr("Ошибок CRC / плохих ответов"), "damagedValue");
    refusedValue = addField(1, 2, tr("Ответов с ошибкой"), "refusedValue");
    medianValue = addField(1, 3, tr("Время ответа, медиана"), "medianValue");
    worstValue = addField(2, 3, tr("Время ответа, худшее"), "worstValue");

    cause = new QLabel(this);
    cause->setObjectName(QStringLiteral("linkCause"));
    cause->setWordWrap(true);
    grid->addWidget(cause, 3, 0, 1, 8);

    auto *resetButton = new QPushButton(tr("Сбросить"), this);
    resetButton->setObjectName(QStringLiteral("linkHealthReset"));
    connect(resetButton, &QPushButton::clicked, this, &LinkHealthPanel::reset);
    grid->addWidget(resetButton, 0, 7, Qt::AlignRight);
    grid->setColumnStretch(6, 1);
    refresh();
}

void LinkHealthPanel::attach(HrcTreeWorkers *workers)
{
    if (!workers)
        return;
    // Queued: the signals come from the workers' threads.
    if (KavuIOhelper *helper = workers->ioHelper())
        connect(helper, &KavuIOhelper::linkCountsTaken, this, &LinkHealthPanel::addCounts,
                Qt::UniqueConnection);
    if (KavuMon *mon = workers->monitor())
        connect(mon, &KavuMon::linkCountsTaken, this, &LinkHealthPanel::addCounts, Qt::UniqueConnection);
}

void LinkHealthPanel::addCounts(const LinkCounts &counts)
{
    total += counts;
    refresh();
}

void LinkHealthPanel::reset()
{
    total = LinkCounts();
    refresh();
    emit countsReset();
}

QString LinkHealthPanel::causeText(const LinkCounts &total)
{
    const quint64 damaged = total.crcErrors + total.badReplies;
    switch (likelyCause(total)) {
    case LinkCause::Unknown:
        return tr("Слишком мало обменов для оценки");
    case LinkCause::Good:
        return tr("Связь в порядке");
    case LinkCause::NoReplies:
        if (damaged > 0)
            return tr("Прибор часто не отвечает, искажённых ответов немного (%1): проверьте адрес прибора, "
                      "скорость обмена и подключение линии")
                .arg(damaged);
        return tr("Прибор часто не отвечает, а искажённых ответов нет: проверьте адрес прибора, скорость обмена "
                  "и подключение линии");
    case LinkCause::DamagedFrames:
        return tr("Ответы приходят искажёнными: проверьте скорость обмена и чётность, согласующие резисторы "
                  "линии и помехи");
    }
    return QString();
}

void LinkHealthPanel::refresh()
{
    exchangesValue->setText(QString::number(total.exchanges));
    retriesValue->setText(QStringLiteral("%1 %").arg(total.retryRate() * 100.0, 0, 'f', 1));
    timeoutsValue->setText(QString::number(total.timeouts));
    damagedValue->setText(QStringLiteral("%1 / %2").arg(total.crcErrors).arg(total.badReplies));
    refusedValue->setText(QString::number(total.deviceErrors + total.exceptions));
    const int bin = total.medianBin();
    if (bin < 0)
        medianValue->setText(QStringLiteral("—"));
    else if (LinkCounts::binUpperMs(bin) > 0)
        medianValue->setText(tr("< %1 мс").arg(LinkCounts::binUpperMs(bin)));
    else
        medianValue->setText(tr("≥ %1 мс").arg(LinkCounts::binUpperMs(bin - 1)));
    worstValue->setText(total.replies() == 0 ? QStringLiteral("—")
                                             : tr("%1 мс").arg(total.worstReplyUs / 1000.0, 0, 'f', 1));
    const LinkCause c = likelyCause(total);
    cause->setText(causeText());
    cause->setStyleSheet(c == LinkCause::NoReplies || c == LinkCause::DamagedFrames
                             ? QStringLiteral("color: #b00000;")
                             : QString());
}

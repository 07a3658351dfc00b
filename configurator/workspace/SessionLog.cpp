#include "SessionLog.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTime>
#include <QToolButton>
#include <QVBoxLayout>

SessionLogWin::SessionLogWin(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , view(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("sessionLogWin"));
    setWindowTitle(tr("Журнал сеанса"));
    view->setObjectName(QStringLiteral("sessionLogText"));
    view->setReadOnly(true);
    view->setPlaceholderText(tr("Здесь появится результат каждой операции обмена с прибором: время, операция, "
                                "итог, счётчики и первые ошибки."));
    auto *copy = new QPushButton(tr("Копировать всё"), this);
    copy->setObjectName(QStringLiteral("copySessionLogButton"));
    connect(copy, &QPushButton::clicked, this, [this]() { QApplication::clipboard()->setText(text()); });
    auto *close = new QPushButton(tr("Закрыть"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    for (const QKeySequence &key : {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::close);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addLayout(buttons);
    resize(700, 400);
}

void SessionLogWin::add(const QString &job, const QString &result, const QStringList &details)
{
    QString block = QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + job
                    + QStringLiteral(": ") + result;
    for (const QString &line : details)
        block += QStringLiteral("\n    ") + line;
    view->appendPlainText(block);
}

QString SessionLogWin::text() const
{
    return view->toPlainText();
}

JobStatusBar::JobStatusBar(QWidget *parent)
    : QWidget(parent)
    , result(new QLabel(this))
    , retry(new QToolButton(this))
    , log(new QToolButton(this))
{
    setObjectName(QStringLiteral("jobStatusBar"));
    result->setObjectName(QStringLiteral("jobResultLabel"));
    result->setTextFormat(Qt::PlainText);
    result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long result gives way to the buttons (its whole text is the tooltip).
    result->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    result->setMinimumWidth(200);
    retry->setObjectName(QStringLiteral("writeDifferingAgainButton"));
    retry->setText(tr("Записать расходящиеся значения снова"));
    retry->hide();
    log->setObjectName(QStringLiteral("sessionLogButton"));
    log->setText(tr("Журнал сеанса"));
    connect(retry, &QToolButton::clicked, this, &JobStatusBar::writeDifferingAgainRequested);
    connect(log, &QToolButton::clicked, this, &JobStatusBar::sessionLogRequested);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 0, 6, 0);
    layout->addWidget(result, 1);
    layout->addWidget(retry);
    layout->addWidget(log);
}

void JobStatusBar::showRunning(const QString &job)
{
    result->setStyleSheet(QString());
    result->setText(tr("Выполняется: %1").arg(job));
    result->setToolTip(QString());
    retry->hide();
}

void JobStatusBar::showResult(const QString &text, bool problem, const QStringList &differing)
{
    // The result, then what differs (the part the engineer acts on), then the counts.
    QStringList parts = text.split(QLatin1Char('\n'));
    QString shown = parts.takeFirst();
    if (!differing.isEmpty())
        shown += QStringLiteral(" — ") + tr("расходятся: %1").arg(differing.join(QStringLiteral(", ")));
    if (!parts.isEmpty())
        shown += QStringLiteral("; ") + parts.join(QStringLiteral("; "));
    result->setText(shown);
    result->setToolTip(shown);
    result->setStyleSheet(problem ? QStringLiteral("color: red;") : QString());
    retry->setVisible(!differing.isEmpty());
}

QString JobStatusBar::resultText() const
{
    return result->text();
}

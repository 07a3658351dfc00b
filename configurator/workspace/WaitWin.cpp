#include "WaitWin.h"

#include "HrcTree.h"
#include "KavuIOhelper.h"
#include "ui_WaitWin.h"

#include <QMessageBox>
#include <QMovie>
#include <QTimer>

WaitWin::WaitWin(QWidget *parent, HrcTree *owningTree)
    : QDialog(parent)
    , ui(new Ui::WaitWin)
    , tree(owningTree)
    , movie(new QMovie(QStringLiteral(":/resources/loadersmall.gif"), QByteArray(), this))
    , timer(new QTimer(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    ui->waitIco->setMovie(movie);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, &WaitWin::closeWait);
}

WaitWin::~WaitWin() = default;

KavuComm *WaitWin::job() const
{
    return tree ? qobject_cast<KavuIOhelper *>(tree->ioWorker()) : nullptr;
}

void WaitWin::showConnecting()
{
    timer->stop();
    failureShown = false;
    cancelRequested = false;
    ui->messagesLabel->setWordWrap(false);
    ui->canselIOButton->setText(tr("Прервать"));
    ui->waitIco->show();
    ui->canselIOButton->show();
    ui->messagesLabel->setText(tr("Соединение с прибором ..."));
    show();
    movie->start();
}

void WaitWin::setMessage(const QString &text, bool finished)
{
    ui->messagesLabel->setText(text);
    if (finished) {
        ui->waitIco->hide();
        ui->canselIOButton->hide();
        timer->start(1000);
    }
}

void WaitWin::showFailure(const QString &reason)
{
    if (cancelRequested) {
        // Cancelled while connecting: nothing to explain.
        setMessage(reason, true);
        return;
    }
    timer->stop();
    movie->stop();
    failureShown = true;
    ui->waitIco->hide();
    ui->messagesLabel->setWordWrap(true);
    ui->messagesLabel->setText(reason);
    ui->canselIOButton->setText(tr("Закрыть"));
    ui->canselIOButton->show();
    ui->canselIOButton->setFocus();
    // The reason takes the width; the button only what it needs.
    ui->widget_3->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    resize(maximumWidth(), heightForWidth(maximumWidth()));
    adjustSize();
    show();
}

QString WaitWin::message() const
{
    return ui->messagesLabel->text();
}

void WaitWin::closeWait()
{
    timer->stop();
    failureShown = false;
    movie->stop();
    hide();
}

void WaitWin::on_canselIOButton_clicked()
{
    if (failureShown) {
        closeWait();
        return;
    }
    cancelRequested = true;
    if (KavuComm *running = job())
        running->terminate();
    ui->canselIOButton->hide();
    ui->messagesLabel->setText(tr("Останавливаем ..."));
}

void WaitWin::reject()
{
    // Esc: while a job runs it is cancelled, once the engineer confirms; the
    // window stays until the job has stopped, as the tree stays locked.
    if (!ui->canselIOButton->isVisible()) {
        if (!ui->waitIco->isVisible())
            closeWait();
        return;
    }
    const QMessageBox::StandardButton answer =
        QMessageBox::question(this, tr("Конфигуратор HRC417"), tr("Прервать операцию обмена с прибором?"),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes && ui->canselIOButton->isVisible())
        on_canselIOButton_clicked();
}

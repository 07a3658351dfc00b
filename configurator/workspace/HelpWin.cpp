#include "HelpWin.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

// The pages are compiled into the workspace library; the call keeps the
// resource's registration from being dropped by the linker.
static void initHelpResources()
{
    Q_INIT_RESOURCE(help);
}

namespace {

const char *const helpRoot = ":/help/";
const char *const fallbackLanguage = "ru";
const char *const contentsPage = "00-index.html";

QPointer<HelpWin> &helpWindow()
{
    static QPointer<HelpWin> window;
    return window;
}

// Esc and Ctrl+W close the window, from any of its fields.
void addCloseKeys(QWidget *window)
{
    for (const QKeySequence &key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto *close = new QShortcut(key, window);
        QObject::connect(close, &QShortcut::activated, window, &QWidget::close);
    }
}

QString readPage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

} // namespace

void HelpWin::openHelp(QWidget *from, const QString &page)
{
    // A compiled help file beside the program (the Windows installation) is
    // still opened by the desktop's viewer.
    const QString chm = QCoreApplication::applicationDirPath() + QDir::separator() + QStringLiteral("hrc417.chm");
    if (QFileInfo::exists(chm)) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(chm));
        return;
    }
    QPointer<HelpWin> &window = helpWindow();
    if (!window) {
        window = new HelpWin;
        // Torn down with the program, not kept alive by the help window.
        connect(qApp, &QCoreApplication::aboutToQuit, window, [] { delete helpWindow().data(); });
        if (from)
            window->move(from->window()->frameGeometry().topLeft() + QPoint(40, 40));
    }
    window->showPage(page);
    window->show();
    window->raise();
    window->activateWindow();
}

void HelpWin::installWindowKeys(QWidget *window, const QString &page)
{
    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), window);
    connect(help, &QShortcut::activated, window, [window, page] { openHelp(window, page); });
    addCloseKeys(window);
}

QLabel *HelpWin::addEmptyHint(QWidget *view)
{
    auto *hint = new QLabel(view);
    hint->setObjectName(QStringLiteral("emptyHint"));
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignCenter);
    hint->setMaximumWidth(520);
    hint->setAttribute(Qt::WA_TransparentForMouseEvents);
    hint->setStyleSheet(QStringLiteral("QLabel { background: #fffbe6; color: #333333; border: 1px solid #d9c77a; "
                                       "padding: 12px; }"));
    auto *centre = new QVBoxLayout(view);
    centre->addWidget(hint, 0, Qt::AlignCenter);
    return hint;
}

HelpWin *HelpWin::instance()
{
    return helpWindow().data();
}

HelpWin::HelpWin(QWidget *parent) : QWidget(parent, Qt::Window)
{
    initHelpResources();
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName(QStringLiteral("HelpWin"));
    resize(900, 640);

    backButton = new QToolButton;
    forwardButton = new QToolButton;
    homeButton = new QToolButton;
    backButton->setArrowType(Qt::LeftArrow);
    forwardButton->setArrowType(Qt::RightArrow);
    backButton->setEnabled(false);
    forwardButton->setEnabled(false);
    searchEdit = new QLineEdit;
    searchEdit->setObjectName(QStringLiteral("helpSearch"));
    searchEdit->setClearButtonEnabled(true);

    auto *bar = new QHBoxLayout;
    bar->addWidget(backButton);
    bar->addWidget(forwardButton);
    bar->addWidget(homeButton);
    bar->addStretch(1);
    bar->addWidget(searchEdit, 1);

    contents = new QListWidget;
    contents->setObjectName(QStringLiteral("helpContents"));
    results = new QListWidget;
    results->setObjectName(QStringLiteral("helpResults"));
    results->hide();
    for (QListWidget *list : {contents, results}) {
        list->setWordWrap(true);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    auto *side = new QWidget;
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(contents);
    sideLayout->addWidget(results);

    textBrowser = new QTextBrowser;
    textBrowser->setObjectName(QStringLiteral("helpBrowser"));
    textBrowser->setOpenExternalLinks(true);

    auto *splitter = new QSplitter;
    splitter->addWidget(side);
    splitter->addWidget(textBrowser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 600});

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(splitter, 1);

    connect(backButton, &QToolButton::clicked, textBrowser, &QTextBrowser::backward);
    connect(forwardButton, &QToolButton::clicked, textBrowser, &QTextBrowser::forward);
    connect(homeButton, &QToolButton::clicked, this, [this] { openPage(QString::fromLatin1(contentsPage)); });
    connect(textBrowser, &QTextBrowser::backwardAvailable, backButton, &QToolButton::setEnabled);
    connect(textBrowser, &QTextBrowser::forwardAvailable, forwardButton, &QToolButton::setEnabled);
    connect(textBrowser, &QTextBrowser::sourceChanged, this, &HelpWin::pageChanged);
    connect(contents, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { openPage(item->data(Qt::UserRole).toString()); });
    connect(contents, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { openPage(item->data(Qt::UserRole).toString()); });
    connect(searchEdit, &QLineEdit::returnPressed, this, &HelpWin::runSearch);
    connect(searchEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text.trimmed().isEmpty())
            runSearch();
    });
    connect(results, &QListWidget::itemActivated, this, &HelpWin::resultChosen);
    connect(results, &QListWidget::itemClicked, this, &HelpWin::resultChosen);
    // Closed as the windows of the tools menu are.
    addCloseKeys(this);
}

HelpWin::~HelpWin() = default;

QString HelpWin::currentLanguage()
{
    // The code of the language the translator loaded last ("ru", "en").
    const QString language = QCoreApplication::instance()->property("languageCode").toString();
    if (language.isEmpty())
        return QString::fromLatin1(fallbackLanguage);
    if (QDir(QString::fromLatin1(helpRoot) + language).exists())
        return language;
    return QString::fromLatin1(fallbackLanguage);
}

void HelpWin::showContents()
{
    showPage(QString());
}

void HelpWin::showPage(const QString &page)
{
    const QString language = currentLanguage();
    if (language != helpLanguage || pageFiles.isEmpty())
        loadLanguage(language);
    retranslate();
    searchEdit->clear();
    openPage(pageFiles.contains(page) ? page : QString::fromLatin1(contentsPage));
}

void HelpWin::loadLanguage(const QString &language)
{
    helpLanguage = language;
    pageFiles.clear();
    titles.clear();
    plainTexts.clear();
    const QString folder = QString::fromLatin1(helpRoot) + language;
    // Page names start with their place in the contents ("03-editing.html").
    pageFiles = QDir(folder).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    static const QRegularExpression titlePattern(QStringLiteral("<title>(.*)</title>"),
                                                 QRegularExpression::DotMatchesEverythingOption);
    contents->clear();
    for (const QString &file : qAsConst(pageFiles)) {
        const QString html = readPage(folder + QLatin1Char('/') + file);
        const QString title = titlePattern.match(html).captured(1).trimmed();
        titles.insert(file, title.isEmpty() ? file : title);
        QTextDocument document;
        document.setHtml(html);
        plainTexts.insert(file, document.toPlainText());
        auto *item = new QListWidgetItem(titles.value(file), contents);
        item->setData(Qt::UserRole, file);
    }
    textBrowser->clearHistory();
    textBrowser->setSearchPaths({folder});
}

void HelpWin::retranslate()
{
    setWindowTitle(tr("Справка конфигуратора HRC417"));
    backButton->setToolTip(tr("Назад"));
    forwardButton->setToolTip(tr("Вперед"));
    homeButton->setText(tr("Содержание"));
    searchEdit->setPlaceholderText(tr("Поиск в справке (Enter)"));
}

QString HelpWin::currentPage() const
{
    return QFileInfo(textBrowser->source().path()).fileName();
}

void HelpWin::openPage(const QString &file)
{
    textBrowser->setSource(QUrl(QStringLiteral("qrc") + QString::fromLatin1(helpRoot) + helpLanguage
                                + QLatin1Char('/') + file));
}

void HelpWin::pageChanged(const QUrl &url)
{
    // (source() is not yet the new page while the signal is emitted)
    const QString file = QFileInfo(url.path()).fileName();
    for (int row = 0; row < contents->count(); ++row) {
        if (contents->item(row)->data(Qt::UserRole).toString() == file) {
            contents->setCurrentRow(row);
            break;
        }
    }
}

QStringList HelpWin::search(const QString &query) const
{
    const QStringList words = query.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    QStringList found;
    if (words.isEmpty())
        return found;
    const auto holdsAll = [&words](const QString &text) {
        for (const QString &word : words) {
            if (!text.contains(word, Qt::CaseInsensitive))
                return false;
        }
        return true;
    };
    // A page about the query comes before the pages (the contents among
    // them) that only mention it.
    QStringList mentioning;
    for (const QString &file : pageFiles) {
        if (!holdsAll(plainTexts.value(file)))
            continue;
        if (holdsAll(titles.value(file)))
            found.append(file);
        else
            mentioning.append(file);
    }
    return found + mentioning;
}

void HelpWin::runSearch()
{
    lastQuery = searchEdit->text().trimmed();
    results->clear();
    if (lastQuery.isEmpty()) {
        results->hide();
    for (QListWidget *list : {contents, results}) {
        list->setWordWrap(true);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
        return;
    }
    const QStringList found = search(lastQuery);
    for (const QString &file : found) {
        auto *item = new QListWidgetItem(titles.value(file), results);
        item->setData(Qt::UserRole, file);
    }
    if (found.isEmpty()) {
        auto *item = new QListWidgetItem(tr("Ничего не найдено"), results);
        item->setFlags(Qt::NoItemFlags);
    }
    results->show();
    if (!found.isEmpty()) {
        results->setCurrentRow(0);
        resultChosen(results->item(0));
    }
}

void HelpWin::resultChosen(QListWidgetItem *item)
{
    const QString file = item ? item->data(Qt::UserRole).toString() : QString();
    if (file.isEmpty())
        return;
    openPage(file);
    // Marks the first place of the query's first word on the page.
    const QString first = lastQuery.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    textBrowser->moveCursor(QTextCursor::Start);
    textBrowser->find(first);
}

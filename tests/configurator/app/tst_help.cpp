// Help through F1, as an engineer uses it: F1 in the wizard and in the main
// window opens the program's help window on its contents page in the language
// chosen in the wizard, F1 in a window of the tools menu on that window's
// page; links, the contents list and the search lead to the right pages; Esc
// and Ctrl+W close the help. Screenshots of the window are written for a look.
#include "ConfigStore.h"
#include "ConfiguratorShell.h"
#include "FlyTranslator.h"
#include "HelpWin.h"
#include "HrcDocument.h"
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "TreeSearchBar.h"
#include "TrendWin.h"
#include "Wizard.h"
#include "WorkspaceTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

class TestHelp : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void f1OpensTheHelpInTheChosenLanguage();
    void everyPageIsReachableFromTheContentsInBothLanguages();
    void searchFindsThePagesOfTheToolsWindows();
    void escapeAndCtrlWCloseTheHelp();
    void installedProgramFindsItsLanguageFiles();
    void chosenLanguageIsRememberedForEveryWindow();

private:
    // Clicks the link whose text is linkText on the page shown.
    static void clickLink(QTextBrowser *browser, const QString &linkText);
    static void search(HelpWin *help, const QString &query);
    // The help window shown on its contents page in a language ("ru", "en").
    static HelpWin *openIn(const QString &language);
    QTemporaryDir dir;
};

void TestHelp::initTestCase()
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("settings"));
    QVERIFY(!QFileInfo::exists(QCoreApplication::applicationDirPath() + "/hrc417.chm"));
}

void TestHelp::cleanup()
{
    delete HelpWin::instance();
    qApp->setProperty("languageCode", QVariant());
    // A line edit's clear button fades with a parentless animation; it stops
    // on its next tick once its button is gone and then deletes itself later.
    // Let the event loop run that before the test ends.
    QTest::qWait(100);
}

void TestHelp::clickLink(QTextBrowser *browser, const QString &linkText)
{
    // The first place the text is a link (it may be said before as text).
    QTextCursor found = browser->document()->find(linkText, 0, QTextDocument::FindCaseSensitively);
    while (!found.isNull() && !found.charFormat().isAnchor())
        found = browser->document()->find(linkText, found, QTextDocument::FindCaseSensitively);
    QVERIFY2(!found.isNull(), qPrintable(linkText));
    QTextCursor inside(found);
    inside.setPosition(found.selectionStart() + 1);
    browser->setTextCursor(inside);
    browser->ensureCursorVisible();
    const QRect rect = browser->cursorRect(inside);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

void TestHelp::search(HelpWin *help, const QString &query)
{
    QLineEdit *field = help->searchField();
    field->clear();
    // (QTest types Latin-1 keys only; other text goes in as an input method would)
    bool latin = true;
    for (const QChar c : query)
        latin = latin && c.unicode() < 0x80;
    if (latin)
        QTest::keyClicks(field, query);
    else
        field->insert(query);
    QTest::keyClick(field, Qt::Key_Return);
}

HelpWin *TestHelp::openIn(const QString &language)
{
    // The property the translator sets when a language is loaded.
    qApp->setProperty("languageCode", language);
    HelpWin::openHelp(nullptr);
    HelpWin *help = HelpWin::instance();
    if (help && QTest::qWaitForWindowActive(help) && help->language() == language)
        return help;
    return nullptr;
}

void TestHelp::f1OpensTheHelpInTheChosenLanguage()
{
    ConfiguratorShell shell(QString::fromLatin1(HrcDocument::resourcePath), QString(),
                            QStringLiteral(HRC_LANGUAGE_DIR));
    shell.show();
    Wizard *wizard = shell.wizard();
    QVERIFY(QTest::qWaitForWindowExposed(wizard));

    // Russian, from the wizard.
    QTest::keyClick(wizard, Qt::Key_F1);
    HelpWin *help = HelpWin::instance();
    QVERIFY(help);
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QCOMPARE(help->language(), QString("ru"));
    QCOMPARE(help->windowTitle(), QString("Справка конфигуратора HRC417"));
    QCOMPARE(help->currentPage(), QString("00-index.html"));
    QCOMPARE(help->contentsList()->count(), 17);
    QCOMPARE(help->contentsList()->item(9)->text(), QString("Если связи нет: Linux и Windows"));
    QCOMPARE(help->contentsList()->currentRow(), 0);

    // A link of the contents page, then back.
    clickLink(help->browser(), "Опрос параметров и журнал опроса");
    QTRY_COMPARE(help->currentPage(), QString("06-polling.html"));
    QCOMPARE(help->contentsList()->currentRow(), 6);
    QVERIFY(help->browser()->toPlainText().contains("Интервал опроса (мс)"));
    help->browser()->backward();
    QCOMPARE(help->currentPage(), QString("00-index.html"));

    // The contents list.
    QListWidget *contents = help->contentsList();
    QTest::mouseClick(contents->viewport(), Qt::LeftButton, Qt::NoModifier,
                      contents->visualItemRect(contents->item(8)).center());
    QCOMPARE(help->currentPage(), QString("08-wizard.html"));

    // Search: every word must be on the page; the first hit is shown marked.
    search(help, "dialout");
    QCOMPARE(help->resultsList()->count(), 1);
    QCOMPARE(help->resultsList()->item(0)->text(), QString("Если связи нет: Linux и Windows"));
    QCOMPARE(help->currentPage(), QString("09-troubleshooting.html"));
    QCOMPARE(help->browser()->textCursor().selectedText(), QString("dialout"));
    QCOMPARE(help->search("журнал CSV"), QStringList{"06-polling.html"});
    QVERIFY(help->search("Ctrl+Alt+W").contains("04-writing.html"));
    search(help, "несуществующееслово");
    QCOMPARE(help->resultsList()->count(), 1);
    QCOMPARE(help->resultsList()->item(0)->text(), QString("Ничего не найдено"));
    QCOMPARE(help->resultsList()->item(0)->flags(), Qt::NoItemFlags);
    QCOMPARE(help->currentPage(), QString("09-troubleshooting.html"));
    help->close();

    // English chosen in the wizard; F1 in the main window.
    auto *languages = wizard->findChild<QComboBox *>("langSelectComboBox");
    const int english = shell.translator()->languageNames().indexOf("English");
    QVERIFY(english >= 0);
    languages->setCurrentIndex(english);
    QTest::mouseClick(wizard->findChild<QCheckBox *>("workOfflineCheckBox"), Qt::LeftButton, Qt::NoModifier,
                      QPoint(8, 8));
    QTest::mouseClick(wizard->findChild<QAbstractButton *>("showAllParamButton"), Qt::LeftButton);
    HrcTreeWin *main = shell.mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    QTest::keyClick(main, Qt::Key_F1);
    QCOMPARE(HelpWin::instance(), help); // the one help window, shown again
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QCOMPARE(help->language(), QString("en"));
    QCOMPARE(help->windowTitle(), QString("HRC417 Configurator Help"));
    QCOMPARE(help->currentPage(), QString("00-index.html"));
    QCOMPARE(help->contentsList()->item(9)->text(), QString("No connection: Linux and Windows"));
    QVERIFY(help->browser()->toPlainText().contains("F1 in any window opens this help."));
    QCOMPARE(help->searchField()->placeholderText(), QString("Search the help (Enter)"));
    search(help, "latency timer");
    QStringList found;
    for (int row = 0; row < help->resultsList()->count(); ++row)
        found << help->resultsList()->item(row)->text();
    QCOMPARE(found, QStringList{"No connection: Linux and Windows"});
    QCOMPARE(help->currentPage(), QString("09-troubleshooting.html"));

    // Every page of both languages has a title and the same place in the contents.
    QCOMPARE(help->pages().size(), 17);
    for (const QString &language : {QString("ru"), QString("en")}) {
        const QStringList files = QDir(":/help/" + language).entryList({"*.html"}, QDir::Files, QDir::Name);
        QCOMPARE(files, help->pages());
    }

    QVERIFY(!wstest::saveScreenshot(help, "help-window-en").isEmpty());
    help->close();

    // F1 in the trends window: the help opens on the trends page. The window
    // opens empty and says, in English, what to tick to get curves.
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    QTest::keyClick(main, Qt::Key_T, Qt::ControlModifier);
    auto *trends = main->findChild<TrendWin *>();
    QVERIFY(trends);
    // (A window manager activates a newly shown window; offscreen it is done here.)
    QVERIFY(QTest::qWaitForWindowExposed(trends));
    trends->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), trends);
    QVERIFY(trends->emptyHint()->isVisible());
    QVERIFY2(trends->emptyHint()->text().startsWith("No curves yet"), qPrintable(trends->emptyHint()->text()));
    QVERIFY(trends->emptyHint()->text().contains("“Polling of operating values”"));
    QTest::keyClick(trends, Qt::Key_F1);
    QCOMPARE(HelpWin::instance(), help);
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QCOMPARE(help->currentPage(), QString("10-trends.html"));
    QCOMPARE(help->contentsList()->currentItem()->text(), QString("Trends of operating values"));
    QVERIFY(help->browser()->toPlainText().contains("Polling of operating values"));
    QVERIFY(!wstest::saveScreenshot(help, "help-trends-page-en").isEmpty());
    QVERIFY(!wstest::saveScreenshot(trends, "trend-window-empty-en").isEmpty());
}

// Every page of both languages is a link of the contents page that leads to
// it, under the title the contents list shows, and leads back.
void TestHelp::everyPageIsReachableFromTheContentsInBothLanguages()
{
    QStringList pagesOf[2];
    for (const QString &language : {QString("ru"), QString("en")}) {
        HelpWin *help = openIn(language);
        QVERIFY(help);
        const QStringList pages = help->pages();
        pagesOf[language == "en"] = pages;
        QCOMPARE(pages.size(), 17);
        QCOMPARE(pages.first(), QString("00-index.html"));
        for (const char *name : {"10-trends", "11-compare", "12-history", "13-report", "14-heating-curves",
                                    "15-link-health", "16-serial-server"})
            QVERIFY2(pages.contains(QString(name) + ".html"), name);
        for (int row = 1; row < pages.size(); ++row) {
            const QString title = help->contentsList()->item(row)->text();
            QVERIFY(!title.isEmpty() && title != pages.at(row));
            QCOMPARE(help->currentPage(), QString("00-index.html"));
            clickLink(help->browser(), title);
            QTRY_COMPARE(help->currentPage(), pages.at(row));
            QCOMPARE(help->contentsList()->currentRow(), row);
            QVERIFY2(help->browser()->toPlainText().startsWith(title), qPrintable(pages.at(row)));
            clickLink(help->browser(), language == "en" ? "Contents" : "Содержание");
            QTRY_COMPARE(help->currentPage(), QString("00-index.html"));
        }
        help->close();
        delete help;
    }
    QCOMPARE(pagesOf[0], pagesOf[1]);
}

// The pages of the tools windows are found by their subject in either
// language, the page about it first, before the contents that mentions it.
void TestHelp::searchFindsThePagesOfTheToolsWindows()
{
    struct Query
    {
        const char *language;
        QString query;
        QString page;
        QString title;
    };
    const QList<Query> queries = {
        {"ru", "тренд", "10-trends.html", "Тренды оперативных параметров"},
        {"ru", "резервн копи", "12-history.html", "История резервных копий"},
        {"ru", "отчёт", "13-report.html", "Отчёт о наладке"},
        {"en", "trend", "10-trends.html", "Trends of operating values"},
        {"en", "comparison", "11-compare.html", "Parameter comparison"},
        {"en", "heating curves", "14-heating-curves.html", "Heating curves"},
        {"en", "link health", "15-link-health.html", "Link health"},
        {"ru", "сервером", "16-serial-server.html", "Прибор за сервером последовательных портов"},
        {"en", "device server", "16-serial-server.html", "A controller behind a serial device server"},
    };
    for (const Query &q : queries) {
        HelpWin *help = HelpWin::instance();
        if (!help || help->language() != QLatin1String(q.language)) {
            delete help;
            help = openIn(q.language);
        }
        QVERIFY(help);
        search(help, q.query);
        QVERIFY2(help->resultsList()->count() >= 1, qPrintable(q.query));
        QCOMPARE(help->resultsList()->item(0)->text(), q.title);
        QCOMPARE(help->currentPage(), q.page);
        QVERIFY(help->search(q.query).contains("00-index.html"));
        QCOMPARE(help->browser()->textCursor().selectedText().toLower(),
                 q.query.section(' ', 0, 0).toLower());
    }
}

void TestHelp::escapeAndCtrlWCloseTheHelp()
{
    // Esc while typing a search.
    HelpWin *help = openIn("ru");
    QVERIFY(help);
    help->searchField()->setFocus();
    QTest::keyClicks(help->searchField(), "dialout");
    QTest::keyClick(help->searchField(), Qt::Key_Escape);
    QVERIFY(!help->isVisible());

    // Ctrl+W while reading a page; F1 brings the same window back.
    HelpWin::openHelp(nullptr);
    QCOMPARE(HelpWin::instance(), help);
    QVERIFY(QTest::qWaitForWindowActive(help));
    help->browser()->setFocus();
    QTest::keyClick(help->browser(), Qt::Key_W, Qt::ControlModifier);
    QVERIFY(!help->isVisible());
    QCOMPARE(HelpWin::instance(), help);
}

// An installed program (<prefix>/bin) has its language files in
// <prefix>/share/hrc417/Language; a "Language" beside the program wins.
void TestHelp::installedProgramFindsItsLanguageFiles()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + "/Language";
    const QString installed = QDir::cleanPath(programDir + "/../share/hrc417/Language");
    QVERIFY(!QFileInfo::exists(beside));
    QVERIFY(!QFileInfo::exists(installed));
    QCOMPARE(FlyTranslator::defaultLanguageDir(), beside);

    QVERIFY(QDir().mkpath(installed));
    QVERIFY(QFile::copy(QStringLiteral(HRC_LANGUAGE_DIR "/english.lng"), installed + "/english.lng"));
    QCOMPARE(FlyTranslator::defaultLanguageDir(), installed);
    {
        FlyTranslator translator;
        QCOMPARE(translator.languageNames(), QStringList{"English"});
        QCOMPARE(translator.languageFiles(), QStringList{installed + "/english.lng"});
    }
    QVERIFY(QDir().mkpath(beside));
    QCOMPARE(FlyTranslator::defaultLanguageDir(), beside);
    QVERIFY(QDir(beside).removeRecursively());
    QVERIFY(QDir(QDir::cleanPath(programDir + "/../share")).removeRecursively());
}

// The main window's texts that are still Russian: title, tooltips, labels,
// buttons, placeholders, menu entries, tree headers and rows.
static QStringList russianTexts(HrcTreeWin *main)
{
    const QRegularExpression cyrillic("[А-Яа-яЁё]");
    QStringList russian;
    auto note = [&](const QString &text) {
        if (text.contains(cyrillic))
            russian << text;
    };
    QList<QWidget *> widgets = main->findChildren<QWidget *>();
    widgets << main;
    for (QWidget *w : widgets) {
        note(w->toolTip());
        if (auto *label = qobject_cast<QLabel *>(w))
            note(label->text());
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            note(button->text());
        if (auto *edit = qobject_cast<QLineEdit *>(w))
            note(edit->placeholderText());
    }
    note(main->windowTitle());
    for (QAction *action : main->toolsMenu()->actions())
        note(action->text());
    for (int c = 0; c < main->tree()->columnCount(); ++c)
        note(main->tree()->headerItem()->text(c));
    for (int i = 0; i < main->tree()->topLevelItemCount(); ++i)
        note(main->tree()->topLevelItem(i)->text(0));
    return russian;
}

// The language chosen in the wizard puts the main window into it at once
// and comes back at the next start.
void TestHelp::chosenLanguageIsRememberedForEveryWindow()
{
    ConfigStore::lastConfiguration()->setValue("hrc417/useLangIndex", 0); // Russian to begin with
    {
        ConfiguratorShell shell(QString::fromLatin1(HrcDocument::resourcePath), QString(),
                                QStringLiteral(HRC_LANGUAGE_DIR));
        shell.show();
        QVERIFY(russianTexts(shell.mainWindow()).size() > 20);
        auto *languages = shell.wizard()->findChild<QComboBox *>("langSelectComboBox");
        QVERIFY(languages);
        const int english = languages->findText("English");
        QVERIFY(english > 0);
        languages->setCurrentIndex(english);
        QCOMPARE(shell.wizard()->windowTitle(), QString("HRC417 Configurator"));
        const QStringList left = russianTexts(shell.mainWindow());
        QVERIFY2(left.isEmpty(), qPrintable(left.join(" | ")));
    }
    ConfiguratorShell restarted(QString::fromLatin1(HrcDocument::resourcePath), QString(),
                                QStringLiteral(HRC_LANGUAGE_DIR));
    QCOMPARE(qApp->property("languageCode").toString(), QString("en"));
    const QStringList russian = russianTexts(restarted.mainWindow());
    QVERIFY2(russian.isEmpty(), qPrintable(russian.join(" | ")));
    // Back to Russian for the tests that follow.
    ConfigStore::lastConfiguration()->setValue("hrc417/useLangIndex", 0);
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"

#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTextBrowser;
class QToolButton;
class QUrl;

// The program's own help window: the help pages (HTML, one set per language,
// compiled into the program under ":/help/<language>/") with a contents list,
// links between the pages, back/forward and a full-text search over every
// page of the language.
//
// The language of the help follows the language chosen in the wizard: the
// loaded language file translates the text "ru" of this class's context into
// the name of its help folder (english.lng: "en"); an unknown folder falls
// back to Russian.
class HelpWin : public QWidget
{
    Q_OBJECT

public:
    // F1 of every window: "hrc417.chm" beside the program (Windows) is opened
    // by the desktop as before; otherwise the help window shows the page
    // (a file name such as "10-trends.html"; the contents page when empty),
    // in the current language. One help window per run.
    static void openHelp(QWidget *from, const QString &page = QString());
    // The keys of a window of the tools menu: F1 opens its help page, Esc
    // and Ctrl+W close it.
    static void installWindowKeys(QWidget *window, const QString &page);
    // A hint in the middle of a view that has nothing to show yet (object
    // name "emptyHint"): the window sets its text and hides it when the view
    // fills. Clicks go through it to the view.
    static QLabel *addEmptyHint(QWidget *view);
    // The help window, when one has been opened; for tests.
    static HelpWin *instance();

    explicit HelpWin(QWidget *parent = nullptr);
    ~HelpWin() override;

    // Language folder of the help as the current translation asks for it.
    static QString currentLanguage();
    QString language() const { return helpLanguage; }

    // Loads the pages of the language (when it changed) and the texts of the
    // window, then shows the contents page.
    void showContents();
    // The same, then shows the page named (the contents page when it is not
    // one of the language's pages).
    void showPage(const QString &page);
    // The file name of the page shown, e.g. "03-editing.html".
    QString currentPage() const;
    // Page files of the language, in the order of the contents.
    const QStringList &pages() const { return pageFiles; }
    // Pages whose text holds every word of the query (case ignored): those
    // whose title holds them first, then the others, each in contents order.
    QStringList search(const QString &query) const;

    QTextBrowser *browser() const { return textBrowser; }
    QLineEdit *searchField() const { return searchEdit; }
    QListWidget *contentsList() const { return contents; }
    QListWidget *resultsList() const { return results; }

private:
    void loadLanguage(const QString &language);
    void retranslate();
    void runSearch();
    void openPage(const QString &file);
    void pageChanged(const QUrl &url);
    void resultChosen(QListWidgetItem *item);

    QString helpLanguage;
    QStringList pageFiles;
    QHash<QString, QString> titles;
    QHash<QString, QString> plainTexts;
    QString lastQuery;

    QListWidget *contents = nullptr;
    QLineEdit *searchEdit = nullptr;
    QListWidget *results = nullptr;
    QTextBrowser *textBrowser = nullptr;
    QToolButton *backButton = nullptr;
    QToolButton *forwardButton = nullptr;
    QToolButton *homeButton = nullptr;
};

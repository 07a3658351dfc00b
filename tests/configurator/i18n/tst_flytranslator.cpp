// The run-time translator: finding language files, the lookup rules and the
// quirks of the file format, and the shipped language files.
#include "FlyTranslator.h"
#include "QtCompat.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDomDocument>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

void writeFile(const QString &path, const QString &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    file.write(content.toUtf8());
}

QString language(const QString &name, const QString &flag, const QString &body)
{
    QString info = QStringLiteral("<info name=\"%1\"").arg(name);
    if (!flag.isNull())
        info += QStringLiteral(" flag=\"%1\"").arg(flag);
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<language>%1/>%2</language>\n").arg(info, body);
}

QString context(const QString &name, const QList<QPair<QString, QString>> &messages, const QString &tag = "context")
{
    QString body = QStringLiteral("<%1><name>%2</name>").arg(tag, name);
    for (const auto &m : messages)
        body += QStringLiteral("<message><source>%1</source><translation>%2</translation></message>").arg(m.first, m.second);
    return body + QStringLiteral("</%1>").arg(tag);
}

QString lookup(const char *ctx, const char *source)
{
    return QCoreApplication::translate(ctx, source);
}

// Closes the next modal box and keeps its title and text.
struct BoxCatcher
{
    QString title;
    QString text;
    void arm()
    {
        QTimer::singleShot(0, [this] { poll(); });
    }
    void poll()
    {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
            return;
        }
        QTimer::singleShot(10, [this] { poll(); });
    }
};

} // namespace

class TestFlyTranslator : public QObject
{
    Q_OBJECT
private slots:
    void noDirectoryLeavesTextsAsWritten();
    void lookupOrder();
    void repeatedContextUsesTheLaterOne();
    void siblingElementsAreReadAsContexts();
    void languageListAndStartLanguage();
    void oneFileOnlyIsActive();
    void malformedFileIsReportedAndSkipped();
    void vanishedFileEmptiesTables();
    void shippedLanguagesTranslateTheDescription();
    void shippedEnglishCoversEveryProgramText();
    void qtDialogsSpeakTheChosenLanguage();
};

void TestFlyTranslator::noDirectoryLeavesTextsAsWritten()
{
    QTemporaryDir dir;
    FlyTranslator translator(nullptr, dir.path() + "/missing");
    QVERIFY(translator.languageNames().isEmpty());
    QCOMPARE(lookup("Wizard", "Проверка связи"), QString("Проверка связи"));
}

void TestFlyTranslator::lookupOrder()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("default.lng"),
              language("English", "en.png",
                       context("Wizard", {{"Проверка связи", "Check connection"}, {"Выход", ""}, {"Назад", "Back"},
                                          {"Назад", "Go back"}})
                           + context("HrcTree", {{"Выход", "Exit"}, {"Порт", "Port"}})));
    FlyTranslator translator(nullptr, dir.path());
    QCOMPARE(translator.languageNames(), QStringList{"English"});
    // The asked context first.
    QCOMPARE(lookup("Wizard", "Проверка связи"), QString("Check connection"));
    // A repeated source keeps its last translation.
    QCOMPARE(lookup("Wizard", "Назад"), QString("Go back"));
    // An empty translation falls through to the other contexts.
    QCOMPARE(lookup("Wizard", "Выход"), QString("Exit"));
    // A wrong context still finds the text.
    QCOMPARE(lookup("Nowhere", "Порт"), QString("Port"));
    // Unknown texts show as written.
    QCOMPARE(lookup("Wizard", "Готово"), QString("Готово"));
}

void TestFlyTranslator::repeatedContextUsesTheLaterOne()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("a.lng"), language("Lang", "", context("Wizard", {{"Выход", "Exit (first)"}})
                                                              + context("Wizard", {{"Выход", "Exit (second)"}})));
    FlyTranslator translator(nullptr, dir.path());
    QCOMPARE(lookup("Wizard", "Выход"), QString("Exit (second)"));
    // No flag: the no-icon image.
    QCOMPARE(translator.languageIcons(), QStringList{":/resources/images/no_icon.gif"});
}

void TestFlyTranslator::siblingElementsAreReadAsContexts()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("a.lng"),
              language("Lang", "x.png",
                       "<note/>" + context("Wizard", {{"Выход", "Exit"}}) + context("Other", {{"Назад", "Back"}}, "remark")
                           + context("Empty", {})));
    FlyTranslator translator(nullptr, dir.path());
    QCOMPARE(lookup("Wizard", "Выход"), QString("Exit"));
    QCOMPARE(lookup("Other", "Назад"), QString("Back"));
    QCOMPARE(translator.languageIcons(), QStringList{QDir(dir.path()).absolutePath() + QDir::separator() + "x.png"});
}

void TestFlyTranslator::languageListAndStartLanguage()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("a_english.lng"), language("English", "en.png", context("Wizard", {{"Выход", "Exit"}})));
    writeFile(dir.filePath("default.lng"), language("Русский", "ru.png", ""));
    writeFile(dir.filePath("nameless.lng"), language("", "x.png", context("Wizard", {{"Выход", "Nameless"}})));
    writeFile(dir.filePath("z_german.lng"), language("Deutsch", "", context("Wizard", {{"Выход", "Beenden"}})));
    writeFile(dir.filePath("readme.txt"), "not a language");
    FlyTranslator translator(nullptr, dir.path());
    QCOMPARE(translator.languageNames(), (QStringList{"English", "Русский", "Deutsch"}));
    QCOMPARE(translator.startIndex(), 1);
    QCOMPARE(translator.languageFiles().at(2), dir.filePath("z_german.lng"));
    QCOMPARE(lookup("Wizard", "Выход"), QString("Выход"));
    QVERIFY(translator.loadLanguage(2));
    QCOMPARE(lookup("Wizard", "Выход"), QString("Beenden"));
    QVERIFY(translator.loadLanguage(0));
    QCOMPARE(lookup("Wizard", "Выход"), QString("Exit"));
    QVERIFY(!translator.loadLanguage(7));
    QCOMPARE(lookup("Wizard", "Выход"), QString("Выход"));
}

void TestFlyTranslator::oneFileOnlyIsActive()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("english.lng"), language("English", "en.png", context("Wizard", {{"Выход", "Exit"}})));
    FlyTranslator translator(nullptr, dir.path());
    QCOMPARE(translator.startIndex(), 0);
    QCOMPARE(lookup("Wizard", "Выход"), QString("Exit"));
}

void TestFlyTranslator::malformedFileIsReportedAndSkipped()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("broken.lng"), "<?xml version=\"1.0\"?>\n<language>\n<info name=\"X\">\n</language>\n");
    writeFile(dir.filePath("good.lng"), language("English", "en.png", ""));
    BoxCatcher box;
    box.arm();
    FlyTranslator translator(nullptr, dir.path());
    QCOMPARE(box.title, QString("Файл перевода broken.lng"));
    QVERIFY2(box.text.startsWith("Ошибка разбора в строке 4, символ "), qPrintable(box.text));
    QVERIFY(box.text.contains('\n'));
    QCOMPARE(translator.languageNames(), QStringList{"English"});
}

void TestFlyTranslator::vanishedFileEmptiesTables()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("default.lng"), language("English", "en.png", context("Wizard", {{"Выход", "Exit"}})));
    writeFile(dir.filePath("other.lng"), language("Other", "o.png", context("Wizard", {{"Выход", "Other"}})));
    FlyTranslator translator(nullptr, dir.path());
    QCOMPARE(lookup("Wizard", "Выход"), QString("Exit"));
    QVERIFY(QFile::remove(dir.filePath("other.lng")));
    QVERIFY(!translator.loadLanguage(1));
    QCOMPARE(lookup("Wizard", "Выход"), QString("Выход"));
}

void TestFlyTranslator::shippedLanguagesTranslateTheDescription()
{
    // The build copies the language files beside the test as beside the program.
    FlyTranslator translator(nullptr, QStringLiteral(HRC_LANGUAGE_DIR));
    QVERIFY(translator.languageNames().size() >= 2);
    QCOMPARE(translator.languageNames().at(translator.startIndex()), QString("Русский"));
    const int english = translator.languageNames().indexOf("English");
    QVERIFY(english >= 0);
    QVERIFY(translator.loadLanguage(english));

    QFile file(QStringLiteral(HRC_DESCRIPTION_FILE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDomDocument description;
    QVERIFY(description.setContent(&file));
    QStringList missing;
    const QDomNodeList parameters = description.elementsByTagName("parameter");
    auto check = [&](const QString &text) {
        if (text.isEmpty() || !text.contains(QRegularExpression("[А-Яа-яЁё]")))
            return;
        if (lookup("HrcTree", text.toUtf8().constData()) == text)
            missing << text;
    };
    for (int i = 0; i < parameters.size(); ++i) {
        const QDomElement p = parameters.at(i).toElement();
        check(p.attribute("label"));
        // Enumerations by index translate their whole list, the others (and
        // the bit names of masks) entry by entry: both forms are in the file.
        check(p.attribute("valueset"));
        for (const QString &entry : p.attribute("valueset").split(';'))
            check(entry);
    }
    const QDomNodeList sets = description.elementsByTagName("parameterset");
    for (int i = 0; i < sets.size(); ++i)
        check(sets.at(i).firstChildElement("title").text());
    missing.removeDuplicates();
    QVERIFY2(missing.isEmpty(), qPrintable("untranslated: " + missing.join(" | ")));
}

void TestFlyTranslator::shippedEnglishCoversEveryProgramText()
{
    // default.lng lists every text the program writes (tools/lang keeps it so).
    FlyTranslator translator(nullptr, QStringLiteral(HRC_LANGUAGE_DIR));
    QVERIFY(translator.loadLanguage(translator.languageNames().indexOf("English")));
    QFile file(QStringLiteral(HRC_LANGUAGE_DIR "/default.lng"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDomDocument list;
    QVERIFY(list.setContent(&file));
    QStringList missing;
    int checkedTexts = 0;
    for (QDomElement context = list.documentElement().firstChildElement("context"); !context.isNull();
         context = context.nextSiblingElement("context")) {
        const QByteArray name = context.firstChildElement("name").text().toUtf8();
        for (QDomElement m = context.firstChildElement("message"); !m.isNull(); m = m.nextSiblingElement("message")) {
            const QString source = m.firstChildElement("source").text();
            ++checkedTexts;
            if (lookup(name.constData(), source.toUtf8().constData()) == source)
                missing << source;
        }
    }
    QVERIFY(checkedTexts > 300);
    QVERIFY2(missing.isEmpty(), qPrintable("untranslated: " + missing.join(" | ")));
}

void TestFlyTranslator::qtDialogsSpeakTheChosenLanguage()
{
    if (!QFile::exists(QtCompat::translationsPath() + "/qtbase_ru.qm"))
        QFAIL("Qt's Russian translation is missing: install qttranslations5-l10n");
    // The start-up language is Russian: a file dialog speaks Russian.
    FlyTranslator translator(nullptr, QStringLiteral(HRC_LANGUAGE_DIR));
    QCOMPARE(translator.languageCodes().value(translator.startIndex()), QString("ru"));
    auto lookInText = [] {
        QFileDialog dialog(nullptr, "x", QDir::tempPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        return dialog.findChild<QLabel *>("lookInLabel")->text();
    };
    const QString russian = lookInText();
    QVERIFY2(russian.contains(QRegularExpression("[А-Яа-яЁё]")), qPrintable(russian));
    QVERIFY(lookup("QPlatformTheme", "Cancel") != QString("Cancel"));
    // The program's own texts still come from its language file.
    QCOMPARE(lookup("Wizard", "Проверка связи"), QString("Проверка связи"));

    // English: Qt's own texts as Qt writes them.
    QVERIFY(translator.loadLanguage(translator.languageNames().indexOf("English")));
    QCOMPARE(lookInText(), QString("Look in:"));
    QCOMPARE(lookup("QPlatformTheme", "Cancel"), QString("Cancel"));
    QCOMPARE(lookup("Wizard", "Проверка связи"), QString("Check connection"));
    // And back.
    QVERIFY(translator.loadLanguage(translator.startIndex()));
    QCOMPARE(lookInText(), russian);
}

QTEST_MAIN(TestFlyTranslator)
#include "tst_flytranslator.moc"

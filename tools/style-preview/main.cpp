// style-preview: shows the program's icons and widgets under its style sheet and grabs
// them to PNG, and checks that every image the program names is in its resources.
//
//   style-preview --check          verify the resources; exit 1 and list what is wrong
//   style-preview --grab DIR       write the preview PNGs into DIR
//   style-preview                  show the preview window
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTableWidget>
#include <QTextEdit>
#include <QTextStream>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

struct ToolIcon {
    const char *file;
    const char *tip;
};

// The tool-bar of the main window, in button order, with the window buttons after it.
const ToolIcon toolIcons[] = {
    {"1_create_new_configfile.png", "Новая настройка"},
    {"2_open_config_file.png", "Открыть"},
    {"3_save_config_file.png", "Сохранить"},
    {"4_read_allparam.png", "Прочитать все параметры"},
    {"5_write_allparams.png", "Записать все параметры"},
    {"6_write_only_changed_param.png", "Записать только измененные параметры"},
    {"7_read_allparam_selected_node.png", "Прочитать все параметры выделенной ветви"},
    {"8_write_allparam_selected_node.png", "Записать все параметры выделенной ветви"},
    {"9_write_changedparam_selected_node.png", "Записать только изменные параметры выделенной ветви"},
    {"10_goto_nextproblem_param.png", "К следующему проблемному параметру"},
    {"11_goto_prevproblem_param.png", "К предыдущему проблемному параметру"},
    {"12_init_device.png", "Инициализировать прибор"},
    {"13_read_one_param.png", "Опрос отдельного параметра"},
    {"14_check_conn.png", "Проверить связь"},
    {"15_help.png", "О программе"},
    {"show_minimazed.png", "Свернуть"},
    {"show_maximazed.png", "Развернуть"},
    {"exit.png", "Выход"},
};
const int commandCount = 15;

struct SizedImage {
    const char *path;
    int width;   // 0: any
    int height;
    bool animated;
};

// Everything the windows load by name, with the size their forms are laid out for.
const SizedImage namedImages[] = {
    {":/resources/images/hrctree_top_bg.png", 0, 0, false},
    {":/resources/images/bg_ligth.png", 0, 0, false},
    {":/resources/images/bg_lgrey.png", 0, 0, false},
    {":/resources/images/bg_white.png", 0, 0, false},
    {":/resources/images/transp.png", 1000, 625, false},
    {":/resources/images/loader.gif", 0, 0, true},
    {":/resources/images/no_icon.gif", 0, 0, false},
    {":/resources/loadersmall.gif", 48, 48, true},
};

QString iconPath(const char *file)
{
    // The main window and the test panel name the folder without the leading slash.
    return QStringLiteral(":resources/images/toolbtn/") + QLatin1String(file);
}

QString readStyleSheet()
{
    QFile file(QStringLiteral(":/resources/style.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

bool hasTransparentPixel(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 255)
                return true;
    return false;
}

QStringList collectedWarnings;

void collectWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        collectedWarnings << message;
}

// Qt parses a style sheet only when a widget is polished, and reports a syntax error as a
// warning ("Could not parse application stylesheet"), so apply it to one widget of each
// styled kind and keep what Qt says.
QStringList styleSheetWarnings(const QString &style)
{
    collectedWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
    qApp->setStyleSheet(style);
    QWidget host;
    auto *column = new QVBoxLayout(&host);
    const QList<QWidget *> widgets = {new QLabel("a"), new QToolButton, new QPushButton("a"), new QLineEdit,
                                      new QComboBox, new QSpinBox, new QTimeEdit, new QCheckBox("a"),
                                      new QTreeWidget, new QTableWidget(2, 2), new QTextEdit, new QProgressBar,
                                      new QScrollBar(Qt::Vertical), new QStackedWidget};
    for (QWidget *widget : widgets)
        column->addWidget(widget);
    host.ensurePolished();
    for (QWidget *widget : widgets)
        widget->ensurePolished();
    host.grab();
    qInstallMessageHandler(previous);
    qApp->setStyleSheet(QString());
    return collectedWarnings;
}

int checkResources()
{
    QStringList problems;
    for (const ToolIcon &icon : toolIcons) {
        const QString path = iconPath(icon.file);
        const QImage image(path);
        if (image.isNull())
            problems << path + ": missing or unreadable";
        else if (image.size() != QSize(32, 32))
            problems << path + QStringLiteral(": %1x%2, expected 32x32").arg(image.width()).arg(image.height());
        const QString twin = QString(path).replace(QLatin1String(".png"), QLatin1String("@2x.png"));
        if (QImage(twin).size() != QSize(64, 64))
            problems << twin + ": missing or not 64x64";
        // On a scaled screen QIcon adds the @2x twin by itself; without it the icon is blurred.
        if (qApp->devicePixelRatio() > 1 && !QIcon(path).availableSizes().contains(QSize(64, 64)))
            problems << path + ": QIcon did not pick up its @2x variant";
    }
    for (const SizedImage &named : namedImages) {
        const QString path = QLatin1String(named.path);
        QImageReader reader(path);
        const QImage first = reader.read();
        if (first.isNull()) {
            problems << path + ": missing or unreadable (" + reader.errorString() + ")";
            continue;
        }
        if (named.width && first.size() != QSize(named.width, named.height))
            problems << path + QStringLiteral(": %1x%2, expected %3x%4")
                                   .arg(first.width()).arg(first.height()).arg(named.width).arg(named.height);
        if (named.animated) {
            QMovie movie(path);
            if (movie.frameCount() < 2)
                problems << path + QStringLiteral(": %1 frame(s), expected an animation").arg(movie.frameCount());
        }
        // Backgrounds are drawn under frameless, non-translucent windows: a transparent
        // pixel would show as black.
        if (!named.animated && hasTransparentPixel(first))
            problems << path + ": has transparent pixels";
    }

    const QString style = readStyleSheet();
    if (style.isEmpty())
        problems << QStringLiteral(":/resources/style.qss: missing or empty");
    const QRegularExpression url(QStringLiteral("url\\(([^)]*)\\)"));
    int urls = 0;
    for (auto it = url.globalMatch(style); it.hasNext(); ++urls) {
        const QString path = it.next().captured(1).trimmed();
        if (!path.startsWith(QLatin1String(":/")))
            problems << "style.qss refers to " + path + ", not to a resource";
        else if (QImage(path).isNull())
            problems << "style.qss refers to " + path + ", which is missing or unreadable";
    }
    if (!style.isEmpty() && urls == 0)
        problems << QStringLiteral("style.qss refers to no image at all");
    for (const QString &warning : styleSheetWarnings(style))
        problems << "style.qss: " + warning;

    QTextStream out(stdout);
    for (const QString &problem : problems)
        out << problem << '\n';
    out << (problems.isEmpty() ? "resources: all named images present\n" : "resources: problems found\n");
    return problems.isEmpty() ? 0 : 1;
}

QWidget *headerBand(const QString &title, QWidget *parent)
{
    auto *band = new QWidget(parent);
    band->setObjectName(QStringLiteral("topWidget"));
    band->setAttribute(Qt::WA_StyledBackground);
    band->setStyleSheet(QStringLiteral("#topWidget { background-image: url(:/resources/images/hrctree_top_bg.png); }"));
    auto *row = new QHBoxLayout(band);
    row->setContentsMargins(10, 6, 6, 6);
    auto *label = new QLabel(title, band);
    label->setObjectName(QStringLiteral("stageName"));
    row->addWidget(label);
    row->addStretch();
    return band;
}

QToolButton *toolButton(const ToolIcon &icon, int number, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setText(QStringLiteral("..."));
    button->setToolTip(QString::fromUtf8(icon.tip));
    button->setIcon(QIcon(iconPath(icon.file)));
    static const char *windowButtons[] = {"toolButton_tomin", "toolButton_tomax", "toolButton_exit"};
    button->setObjectName(number < commandCount ? QStringLiteral("toolButton_%1").arg(number + 1)
                                                : QLatin1String(windowButtons[number - commandCount]));
    return button;
}

QWidget *toolBar(bool enabled, QWidget *parent)
{
    auto *band = headerBand(enabled ? QStringLiteral("Параметры прибора") : QStringLiteral("Идёт обмен: команды недоступны"),
                            parent);
    auto *row = static_cast<QHBoxLayout *>(band->layout());
    for (int i = 0; i < commandCount; ++i) {
        QToolButton *button = toolButton(toolIcons[i], i, band);
        button->setEnabled(enabled);
        row->insertWidget(1 + i, button);
        if (i == 2 || i == 5 || i == 8 || i == 10)
            row->insertSpacing(2 + i, 8);
    }
    for (int i = commandCount; i < int(std::size(toolIcons)); ++i)
        row->addWidget(toolButton(toolIcons[i], i, band));
    return band;
}

// Paints selected rows with the row's own text colour, as the program's tree does, so the
// preview shows how the state colours read on the style's selection background.
class OwnColourDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem own(option);
        const QVariant colour = index.data(Qt::ForegroundRole);
        if (colour.canConvert<QBrush>())
            own.palette.setBrush(QPalette::HighlightedText, colour.value<QBrush>());
        QStyledItemDelegate::paint(painter, own, index);
    }
};

QTreeWidget *parameterTree(QWidget *parent)
{
    auto *tree = new QTreeWidget(parent);
    tree->setItemDelegate(new OwnColourDelegate(tree));
    tree->setStyleSheet(QStringLiteral("font: 10pt Segoe UI;"));
    tree->header()->setStyleSheet(QStringLiteral("font: 8pt Verdana;"));
    tree->setHeaderLabels({"Описание", "Параметр", "Значение", "Тип", "Минимум", "Максимум", "Зав.настройки",
                           "Ошибки обмена и несоотвествия"});
    const int widths[] = {300, 100, 150, 70, 100, 100, 110, 260};
    for (int c = 0; c < 8; ++c) {
        tree->setColumnWidth(c, widths[c]);
        if (c)
            tree->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    }
    const QColor normal = QColor::fromHsv(34, 34, 34);
    const QColor changed(Qt::darkGreen);
    const QColor problem(Qt::red);
    QStyle *style = tree->style();
    auto add = [&](QTreeWidgetItem *parentItem, const QStringList &texts, const QColor &colour) {
        auto *item = new QTreeWidgetItem(parentItem, texts);
        item->setIcon(0, style->standardIcon(QStyle::SP_DriveNetIcon));
        for (int c = 0; c < 8; ++c) {
            item->setForeground(c, colour);
            if (c)
                item->setTextAlignment(c, Qt::AlignCenter);
        }
        return item;
    };
    auto set = [&](const QString &title) {
        auto *item = new QTreeWidgetItem(tree, {title});
        item->setIcon(0, style->standardIcon(QStyle::SP_DirOpenIcon));
        item->setForeground(0, normal);
        return item;
    };
    QTreeWidgetItem *comm = set("Параметры связи");
    QTreeWidgetItem *port = add(comm, {"Порт", "Port", "/dev/pts/3", "enum", "", "", "COM1", ""}, normal);
    QTreeWidgetItem *address = add(comm, {"Сетевой адрес", "Addr", "1", "byte", "0", "255", "1", ""}, normal);
    QTreeWidgetItem *config = set("Конфигурация");
    add(config, {"Имя прибора", "Dev", "HRC417", "raw", "", "", "", ""}, normal);
    QTreeWidgetItem *edited = add(config, {"Уставка температуры", "T.sp[0]", "55,0", "float", "5,0", "95,0", "50,0", ""},
                                  changed);
    QTreeWidgetItem *failed = add(config, {"Время работы насосов", "t.wm[0]", "7", "word", "1", "30", "7",
                                           "Нет ответа от прибора"},
                                  problem);
    QTreeWidgetItem *night = add(config, {"Режим ночного снижения", "Tm.ng", "22:00:00", "time", "", "", "22:00:00", ""},
                                 changed);
    add(config, {"Тип датчика", "in-t[0]", "Pt1000", "enum", "", "", "Pt1000", "Неверная контрольная сумма"}, problem);
    QTreeWidgetItem *kontur = set("Контур отопления 1");
    for (int i = 0; i < 12; ++i)
        add(kontur, {QStringLiteral("Точка графика %1").arg(i + 1), QStringLiteral("Gr.p[%1]").arg(i),
                     QStringLiteral("%1;%2").arg(-20 + 5 * i).arg(80 - 3 * i), "point", "", "", "", ""},
            i == 3 ? changed : normal);
    // Editors open in their cells, as the in-place editing shows them.
    auto *portEditor = new QComboBox;
    portEditor->setEditable(true);
    portEditor->addItems({"/dev/pts/3", "/dev/ttyS0", "/dev/ttyUSB0"});
    tree->setItemWidget(port, 2, portEditor);
    tree->setItemWidget(address, 2, new QLineEdit("1"));
    auto *timeEditor = new QTimeEdit(QTime(22, 0));
    timeEditor->setDisplayFormat("hh:mm:ss");
    tree->setItemWidget(night, 2, timeEditor);
    tree->expandAll();
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    edited->setSelected(true);
    failed->setSelected(true);
    tree->setCurrentItem(failed, 0, QItemSelectionModel::NoUpdate);
    return tree;
}

QWidget *controlsPanel(QWidget *parent)
{
    auto *panel = new QWidget(parent);
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(10);

    auto *name = new QComboBox(panel);
    name->setEditable(true);
    name->addItems({"Dev", "T.sp", "Thpd", "Ind.i"});
    auto *type = new QComboBox(panel);
    type->addItems({"raw", "byte", "short", "word", "float"});
    auto *disabledCombo = new QComboBox(panel);
    disabledCombo->addItem("19200");
    disabledCombo->setEnabled(false);
    auto *value = new QLineEdit("1A2B", panel);
    auto *disabledEdit = new QLineEdit("0", panel);
    disabledEdit->setEnabled(false);
    auto *spin = new QSpinBox(panel);
    spin->setRange(0, 50);
    spin->setValue(3);
    auto *time = new QTimeEdit(QTime(22, 0), panel);
    time->setDisplayFormat("hh:mm:ss");
    auto *checked = new QCheckBox("Работа offline", panel);
    checked->setChecked(true);
    auto *unchecked = new QCheckBox("Индекс", panel);
    auto *disabledCheck = new QCheckBox("Фикс.длина", panel);
    disabledCheck->setEnabled(false);
    auto *read = new QPushButton("Прочитать", panel);
    auto *write = new QPushButton("Записать", panel);
    auto *off = new QPushButton("Найти параметр в настройках", panel);
    off->setEnabled(false);
    auto *progress = new QProgressBar(panel);
    progress->setValue(45);

    grid->addWidget(new QLabel("Параметр", panel), 0, 0);
    grid->addWidget(name, 0, 1);
    grid->addWidget(new QLabel("Тип данных", panel), 0, 2);
    grid->addWidget(type, 0, 3);
    grid->addWidget(disabledCombo, 0, 4);
    grid->addWidget(value, 1, 1);
    grid->addWidget(disabledEdit, 1, 2);
    grid->addWidget(spin, 1, 3);
    grid->addWidget(time, 1, 4);
    grid->addWidget(checked, 2, 1);
    grid->addWidget(unchecked, 2, 2);
    grid->addWidget(disabledCheck, 2, 3);
    grid->addWidget(progress, 2, 4);
    grid->addWidget(read, 3, 1);
    grid->addWidget(write, 3, 2);
    grid->addWidget(off, 3, 3, 1, 2);

    auto *table = new QTableWidget(4, 3, panel);
    table->setHorizontalHeaderLabels({"Наружная, °C", "Подача, °C", "Обратка, °C"});
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            table->setItem(r, c, new QTableWidgetItem(QString::number(-20 + 10 * r + 5 * c)));
    table->setCurrentCell(1, 1);
    table->setFixedHeight(150);
    auto *text = new QTextEdit(panel);
    text->setHtml("Имя прибора: HRC417<br>Версия: 2.07<br><br><b>Для последующей конфигурации прибора "
                  "необходимо перевести его в режим \"Останов\"</b>");
    text->setFixedHeight(150);
    grid->addWidget(table, 4, 0, 1, 3);
    grid->addWidget(text, 4, 3, 1, 2);
    return panel;
}

QWidget *waitWindow(QWidget *parent)
{
    // Laid out as the wait dialog: the small animation on the light tile, then the message on the band.
    auto *window = new QWidget(parent);
    window->setFixedSize(600, 56);
    window->setStyleSheet("background-color: rgb(249, 249, 249);");
    auto *band = new QWidget(window);
    band->setObjectName("widget_2");
    band->setAttribute(Qt::WA_StyledBackground);
    band->setStyleSheet("#widget_2 { background-image: url(:/resources/images/hrctree_top_bg.png); }");
    auto *outer = new QHBoxLayout(window);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(band);
    auto *row = new QHBoxLayout(band);
    row->setContentsMargins(3, 3, 3, 3);
    auto *icon = new QLabel(band);
    icon->setObjectName("waitIco");
    icon->setFixedWidth(50);
    icon->setStyleSheet("#waitIco { background-image: url(:/resources/images/bg_ligth.png); }");
    auto *movie = new QMovie(":/resources/loadersmall.gif", QByteArray(), icon);
    icon->setMovie(movie);
    movie->start();
    auto *message = new QLabel("Чтение параметров. Прочитано   12 из  176", band);
    message->setObjectName("messagesLabel");
    auto *cancel = new QPushButton("Прервать", band);
    row->addWidget(icon);
    row->addWidget(message, 1);
    row->addWidget(cancel);
    return window;
}

QWidget *buildPreview()
{
    auto *window = new QWidget;
    window->setObjectName("HrcTreeWin");
    window->setWindowTitle("style-preview");
    auto *column = new QVBoxLayout(window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(toolBar(true, window));
    column->addWidget(toolBar(false, window));
    QTreeWidget *tree = parameterTree(window);
    tree->setMinimumHeight(330);
    column->addWidget(tree);
    auto *lower = new QWidget(window);
    lower->setObjectName("bottom");
    lower->setAttribute(Qt::WA_StyledBackground);
    lower->setStyleSheet("#bottom { background-image: url(:/resources/images/bg_ligth.png); }");
    auto *lowerRow = new QVBoxLayout(lower);
    lowerRow->addWidget(controlsPanel(lower));
    lowerRow->addWidget(waitWindow(lower), 0, Qt::AlignLeft);
    column->addWidget(lower);
    window->resize(1180, 960);
    return window;
}

// The setup window's layout over its background: a header on the 64 px band, the page, and
// the buttons on the 56 px foot.
QWidget *wizardWindow()
{
    auto *window = new QWidget;
    window->setObjectName("Wizard");
    window->setFixedSize(1000, 625);
    window->setAttribute(Qt::WA_StyledBackground);
    window->setStyleSheet("#Wizard { background-image: url(:/resources/images/transp.png); }");
    auto *column = new QVBoxLayout(window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *header = new QWidget(window);
    header->setFixedHeight(66);
    auto *headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(16, 0, 12, 2);
    auto *stage = new QLabel("Связь с прибором", header);
    stage->setObjectName("stageName");
    auto *name = new QLabel("Конфигуратор HRC417M", header);
    name->setObjectName("hrcNameLabel");
    auto *lang = new QComboBox(header);
    lang->addItem(QIcon(":/resources/images/no_icon.gif"), "Русский");
    headerRow->addWidget(stage);
    headerRow->addStretch();
    headerRow->addWidget(name);
    headerRow->addSpacing(12);
    headerRow->addWidget(lang);
    column->addWidget(header);

    auto *pages = new QStackedWidget(window);
    auto *page = new QWidget;
    auto *pageRow = new QHBoxLayout(page);
    pageRow->setContentsMargins(16, 12, 16, 12);
    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel("Укажите параметры связи с прибором", page));
    auto *summary = new QTreeWidget(page);
    summary->setHeaderHidden(true);
    summary->setColumnCount(2);
    summary->setColumnWidth(0, 400);
    summary->setStyleSheet("font: 14pt Segoe UI;");
    for (const auto &row : {QStringList{"Порт", "/dev/pts/3"}, QStringList{"Скорость обмена", "19200"},
                            QStringList{"Сетевой адрес", "1"}, QStringList{"Время ожидания ответа, мс", "300"}})
        new QTreeWidgetItem(summary, row);
    left->addWidget(summary);
    pageRow->addLayout(left, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(new QPushButton("Настройка параметров", page));
    right->addWidget(new QCheckBox("Работа offline", page));
    right->addWidget(new QPushButton("Изменить параметры \n связи", page));
    right->addWidget(new QPushButton("Проверка связи", page));
    auto *movieLabel = new QLabel(page);
    movieLabel->setFixedSize(96, 96);
    movieLabel->setScaledContents(true);
    auto *movie = new QMovie(":/resources/images/loader.gif", QByteArray(), movieLabel);
    movieLabel->setMovie(movie);
    movie->start();
    right->addWidget(movieLabel, 0, Qt::AlignHCenter);
    right->addStretch();
    pageRow->addLayout(right);
    pages->addWidget(page);
    column->addWidget(pages, 1);

    auto *foot = new QWidget(window);
    foot->setFixedHeight(56);
    auto *footRow = new QHBoxLayout(foot);
    footRow->setContentsMargins(16, 0, 16, 0);
    footRow->addStretch();
    footRow->addWidget(new QPushButton("Выход", foot));
    column->addWidget(foot);
    return window;
}

// The message box in its warning form.
QWidget *messageBox()
{
    auto *box = new QWidget;
    box->setFixedSize(460, 200);
    auto *column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *header = new QWidget(box);
    header->setObjectName("widget");
    header->setStyleSheet("#widget { background-image: url(:/resources/images/hrctree_top_bg.png); }");
    header->setAttribute(Qt::WA_StyledBackground);
    auto *headerRow = new QHBoxLayout(header);
    auto *title = new QLabel("Предупреждение", header);
    title->setStyleSheet("color: rgb(215, 215, 215);");
    headerRow->addWidget(title);
    column->addWidget(header);
    auto *text = new QTextEdit(box);
    text->setObjectName("textEdit");
    text->setStyleSheet("#textEdit { background-image: url(:/resources/images/bg_lgrey.png); border: none; }");
    text->setText("Параметры прибора записанные ранее будут установлены в заводские настройки.");
    column->addWidget(text, 1);
    auto *buttons = new QWidget(box);
    buttons->setObjectName("widget_2");
    buttons->setAttribute(Qt::WA_StyledBackground);
    buttons->setStyleSheet("#widget_2 { background-image: url(:/resources/images/bg_ligth.png); }");
    auto *buttonRow = new QHBoxLayout(buttons);
    buttonRow->addStretch();
    buttonRow->addWidget(new QPushButton("Продолжить", buttons));
    buttonRow->addWidget(new QPushButton("Отменить", buttons));
    column->addWidget(buttons);
    return box;
}

bool save(QWidget *widget, const QString &path)
{
    const bool ok = widget->grab().save(path);
    QTextStream(stdout) << (ok ? "wrote " : "could not write ") << path << '\n';
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains("--check"))
        return checkResources();

    app.setStyleSheet(readStyleSheet());
    QWidget *preview = buildPreview();
    const int grabAt = args.indexOf("--grab");
    if (grabAt < 0) {
        preview->show();
        return app.exec();
    }
    if (grabAt + 1 >= args.size()) {
        QTextStream(stderr) << "usage: style-preview [--check | --grab DIR]\n";
        return 2;
    }
    const QDir dir(args.at(grabAt + 1));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        QTextStream(stderr) << "cannot create " << dir.path() << '\n';
        return 1;
    }
    preview->show();
    app.processEvents();
    bool ok = save(preview, dir.filePath("style-preview.png"));

    for (QWidget *other : {wizardWindow(), messageBox()}) {
        other->show();
        app.processEvents();
        ok = save(other, dir.filePath(other->objectName().isEmpty() ? "messagebox.png" : "wizard.png")) && ok;
        delete other;
    }

    // A tool tip as it appears over the read-all button.
    auto *readAll = preview->findChild<QToolButton *>("toolButton_4");
    QToolTip::showText(readAll->mapToGlobal(QPoint(8, 40)), readAll->toolTip(), readAll);
    app.processEvents();
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->inherits("QTipLabel") && top->isVisible())
            ok = save(top, dir.filePath("tooltip.png")) && ok;

    // The animation, frame by frame, as the wait dialog plays it.
    QMovie movie(":/resources/loadersmall.gif");
    QMovie large(":/resources/images/loader.gif");
    const int frames = movie.frameCount();
    QImage strip(frames * 56, 116, QImage::Format_ARGB32);
    strip.fill(QColor("#eef1f4"));
    {
        QPainter painter(&strip);
        for (int i = 0; i < frames && movie.jumpToFrame(i); ++i)
            painter.drawImage(i * 56 + 4, 4, movie.currentImage());
        for (int i = 0; i < large.frameCount() && large.jumpToFrame(i); ++i)
            painter.drawImage(QRect(i * 56, 60, 52, 52), large.currentImage());
    }
    const QString stripPath = dir.filePath("animation-frames.png");
    const bool stripOk = strip.save(stripPath);
    QTextStream(stdout) << (stripOk ? "wrote " : "could not write ") << stripPath << '\n';
    delete preview;
    return ok && stripOk ? 0 : 1;
}

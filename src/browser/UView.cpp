#include "UView.h"

#include "TreePictures.h"
#include "UProgress.h"

#include "app/BevelPanel.h"
#include "app/UMain.h"
#include "app/USettings.h"
#include "components/text/QtText.h"
#include "components/widgets/ErrorReport.h"
#include "components/widgets/PageView.h"
#include "data/UData.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <map>
#include <memory>
#include <stdexcept>

TViewFrm* ViewFrm = nullptr;
int NodeImage = 16;
int SelectedImage = 17;
QString TempPageFileName;

std::function<int(QFileDialog&)> TViewFrm::execSaveDialog = [](QFileDialog& d) { return d.exec(); };

// ---------------------------------------------------------------- tree nodes

int NodeLevel(const QTreeWidgetItem* node) {
    int level = 0;
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        ++level;
    return level;
}

int NodeArticleID(const QTreeWidgetItem* node) { return node->data(0, ArticleIdRole).toInt(); }

std::string NodeName(const QTreeWidgetItem* node) {
    return node->data(0, NameBytesRole).toByteArray().toStdString();
}

namespace {

// Closes without letting a failure of its own hide the one being reported.
void closeQuietly(fb::Query& q) noexcept {
    try {
        q.Close();
    } catch (...) {
    }
}

// A tree node keeps what it shows as plain members and answers the view's
// questions from them: tens of thousands of nodes are made in one load, and
// a node of QTreeWidgetItem's own, with a stored value per role, costs
// several times as much to make and to keep. The text is decoded when the
// view asks for it, which is only for the rows on screen.
class TreeNode : public QTreeWidgetItem {
public:
    TreeNode(std::string name, const QIcon& icon, int image, int articleId)
        : name_(std::move(name)), icon_(icon), image_(image), articleId_(articleId) {}

    QVariant data(int column, int role) const override {
        if (column != 0)
            return QTreeWidgetItem::data(column, role);
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return text::toQ(name_);
        case Qt::DecorationRole:
            return icon_;
        case ArticleIdRole:
            return articleId_;
        case NameBytesRole:
            return QByteArray::fromStdString(name_);
        case ImageIndexRole:
            return image_;
        case SelectedIndexRole:
            return SelectedImage;
        default:
            return QTreeWidgetItem::data(column, role);
        }
    }

private:
    std::string name_;
    QIcon icon_;
    int image_;
    int articleId_;
};

class NodeFactory {
public:
    explicit NodeFactory(const std::vector<QPixmap>& pictures) : pictures_(pictures) {}

    QTreeWidgetItem* make(const fb::Field& name, int image, int articleId) {
        const bool valid = validImage(image);
        return new TreeNode(name.AsString(), icon(image), valid ? image : -1, articleId);
    }

private:
    bool validImage(int i) const { return i >= 0 && i < static_cast<int>(pictures_.size()); }

    // One icon per picture, shared by the nodes: its selected form is the
    // selected-node picture. A node without a picture keeps its place
    // blank, and shows the selected picture all the same when selected.
    const QIcon& icon(int image) {
        const int key = validImage(image) ? image : -1;
        auto it = icons_.find(key);
        if (it != icons_.end())
            return it->second;
        QIcon ic;
        if (key >= 0) {
            ic.addPixmap(pictures_[static_cast<size_t>(key)], QIcon::Normal);
        } else {
            QPixmap none(treepictures::kSize, treepictures::kSize);
            none.fill(Qt::transparent);
            ic.addPixmap(none, QIcon::Normal);
        }
        if (validImage(SelectedImage))
            ic.addPixmap(pictures_[static_cast<size_t>(SelectedImage)], QIcon::Selected);
        return icons_.emplace(key, ic).first->second;
    }

    const std::vector<QPixmap>& pictures_;
    std::map<int, QIcon> icons_;
};

} // namespace

int LoadPosition(int articles, int total) {
    if (total <= 0)
        return 0;
    return static_cast<int>(std::min<long long>(100, 100LL * articles / total));
}

void LoadTree(QTreeWidget& tree, const std::vector<QPixmap>& pictures,
              const std::function<void(int, int, int)>& step) {
    fb::Query& q1 = DataFrm->IBSQL1;
    fb::Query& q2 = DataFrm->IBSQL2;
    fb::Query& q3 = DataFrm->IBSQL3;
    fb::Query& q4 = DataFrm->IBSQL4;
    NodeFactory nodes(pictures);
    // Each category is built with all its children before it goes into the
    // tree: one insertion per category instead of one per node.
    std::unique_ptr<QTreeWidgetItem> category;
    try {
        // A load that failed before may have left the category cursor open.
        q1.Close();
        RunReading(q1);

        q4.Close();
        q4.setSQL("select count(*) from hints");
        q4.Prepare();
        q4.ExecQuery();
        const int total = q4.Fields(0).AsInteger();
        q4.Close();

        int subcategories = 0;
        int articles = 0;
        while (!q1.Eof()) {
            const int catNum = q1.Fields(1).AsInteger();
            category.reset(nodes.make(q1.Fields(0), catNum - 1, -1));

            q2.Close();
            q2.setSQL("select SUB_CAT,NUM from SUB_CATEGORIES where CATNUM=" +
                      std::to_string(catNum));
            RunReading(q2);
            while (!q2.Eof()) {
                ++subcategories;
                QTreeWidgetItem* sub = nodes.make(q2.Fields(0), NodeImage, -1);
                category->addChild(sub);

                q3.Close();
                q3.setSQL("select NAME,ID from HINTS where CAT=" + std::to_string(catNum) +
                          " and SUBCAT=" + std::to_string(q2.Fields(1).AsInteger()) +
                          " order by NAME");
                RunReading(q3);
                while (!q3.Eof()) {
                    sub->addChild(nodes.make(q3.Fields(0), NodeImage, q3.Fields(1).AsInteger()));
                    ++articles;
                    q3.Next();
                }
                q2.Next();
                if (step)
                    step(subcategories, articles, total);
            }
            tree.addTopLevelItem(category.release());
            q1.Next();
        }
    } catch (...) {
        // The nodes read so far stay, the unfinished category with them; the
        // cursors are closed so that the next load can start afresh.
        if (category)
            tree.addTopLevelItem(category.release());
        closeQuietly(q1);
        closeQuietly(q2);
        closeQuietly(q3);
        closeQuietly(q4);
        throw;
    }
    q1.Close();
    q2.Close();
    q3.Close();
}

// ---------------------------------------------------------------- pages

std::string HtmlEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += ch;
        }
    }
    return out;
}

std::string BuildNodePage(int level, const std::string& rawCategoryName,
                          const std::string& rawSubcategoryName) {
    static const char* const kCrLf = "\r\n";
    // The names come from the update server: text, never markup, as the
    // tree shows them.
    const std::string categoryName = HtmlEscaped(rawCategoryName);
    const std::string subcategoryName = HtmlEscaped(rawSubcategoryName);
    std::string page;
    page += "<head>";
    page += kCrLf;
    page += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=\"Windows-1251\"></head>";
    page += kCrLf;
    page += "<center><b>";
    page += kCrLf;
    if (level == 0) {
        page += "<font size=7 face=\"Tahoma\">" + categoryName + "</font>";
        page += kCrLf;
    } else {
        page += "<font size=7 face=\"Tahoma\">" + categoryName;
        page += kCrLf;
        page += "<br><font size=5>" + subcategoryName + "</font></font>";
        page += kCrLf;
    }
    page += "</b></center>";
    page += kCrLf;
    return "about:" + page;
}

std::string BuildNodePage(const QTreeWidgetItem* node) {
    if (NodeLevel(node) == 0)
        return BuildNodePage(0, NodeName(node), std::string());
    return BuildNodePage(1, NodeName(node->parent()), NodeName(node));
}

std::string EmptyCataloguePage() {
    return text::utf8ToCp1251("about:<center><b><font size=5 face=\"Tahoma\">"
                              "В базе нет ни одной категории</font></b></center>");
}

std::string MakeFileName(const std::string& name) {
    std::string out = name;
    for (char& ch : out) {
        const auto b = static_cast<unsigned char>(ch);
        const bool kept = b == 32 || b == 33 || (b >= 35 && b <= 37) || (b >= 39 && b <= 41) ||
                          (b >= 44 && b <= 46) || (b >= 48 && b <= 57) || (b >= 64 && b <= 90) ||
                          (b >= 95 && b <= 123) || b == 125 || b == 126 || b >= 192;
        if (!kept)
            ch = '_';
    }
    return out;
}

QString GetTempHTMLFileName() {
    QString dir = QDir::tempPath();
    if (dir.isEmpty())
        dir = QStringLiteral("/tmp");
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    QTemporaryFile file(dir + QStringLiteral("tipXXXXXX.tmp"));
    file.setAutoRemove(false);
    if (file.open()) {
        const QString name = file.fileName();
        file.close();
        return name;
    }
    return dir + QStringLiteral("TemporaryHTMLFile.html");
}

namespace {

[[noreturn]] void fileError(const char* what, const QString& path, const QFile& f) {
    throw std::runtime_error(
        text::fromQ(QStringLiteral("%1 \"%2\". %3").arg(QLatin1String(what), path, f.errorString())));
}

// Writes the bytes as the whole content of path. With fresh, a file there is
// first removed and the new one made exclusively, so that a link planted at
// a well-known name cannot send the text elsewhere.
void writeWholeFile(const QString& path, const std::string& bytes, bool fresh) {
    QFile f(path);
    if (fresh)
        QFile::remove(path);
    const QIODevice::OpenMode mode =
        fresh ? QIODevice::WriteOnly | QIODevice::NewOnly : QIODevice::WriteOnly | QIODevice::Truncate;
    if (!f.open(mode))
        fileError("Cannot create file", path, f);
    if (f.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
        fileError("Cannot write file", path, f);
    if (!f.flush())
        fileError("Cannot write file", path, f);
    f.close();
    if (f.error() != QFileDevice::NoError)
        fileError("Cannot write file", path, f);
}

// The article's text: its INFORMATION as the database gives it; NULL (or
// an article that is gone) gives nothing.
std::string readArticle(fb::Query& q4, int id) {
    q4.Close();
    q4.setSQL("select INFORMATION from HINTS where ID=" + std::to_string(id));
    RunReading(q4);
    return q4.Fields(0).AsString();
}

} // namespace

void ProcessMessagesFor(int ms) {
    QElapsedTimer clock; // monotonic
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (clock.elapsed() < ms)
            QThread::msleep(1);
    }
}

// ---------------------------------------------------------------- window parts

// Hot tracking (the node under the mouse underlined in the link colour) and
// the right-clicked node standing out as selected while its menu is shown.
class TreeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QPersistentModelIndex drop;

protected:
    void initStyleOption(QStyleOptionViewItem* opt, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(opt, index);
        if (drop.isValid()) {
            if (index == drop)
                opt->state |= QStyle::State_Selected;
            else
                opt->state &= ~QStyle::State_Selected;
        }
        if (opt->state & QStyle::State_MouseOver) {
            opt->font.setUnderline(true);
            if (!(opt->state & QStyle::State_Selected))
                opt->palette.setColor(QPalette::Text, QColor(0, 102, 204));
        }
    }
};

namespace {

// The selection covers the whole row: the branch area (FullRowStyle) and
// the width of the view beyond the names.
class CategoryTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    void setDelegate(const TreeDelegate* d) { delegate_ = d; }

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override {
        const bool selected = delegate_ && delegate_->drop.isValid()
                                  ? index == delegate_->drop
                                  : selectionModel()->isSelected(index);
        if (selected) {
            const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
            painter->fillRect(QRect(0, option.rect.y(), viewport()->width(), option.rect.height()),
                              palette().brush(group, QPalette::Highlight));
        }
        QTreeWidget::drawRow(painter, option, index);
    }

private:
    const TreeDelegate* delegate_ = nullptr;
};

class FullRowStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_ItemView_ShowDecorationSelected)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

QIcon closeGlyph() {
    QPixmap pm(9, 8);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(Qt::black, 1.6));
    p.setRenderHint(QPainter::Antialiasing);
    p.drawLine(QPointF(1, 0.5), QPointF(8, 7.5));
    p.drawLine(QPointF(8, 0.5), QPointF(1, 7.5));
    return QIcon(pm);
}

QToolButton* flatButton(QWidget* parent, const char* name, const QString& caption,
                        const char* hint, int w, int h) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(w, h);
    if (!caption.isEmpty()) {
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        b->setText(caption);
    }
    b->setToolTip(QString::fromUtf8(hint));
    b->setStyleSheet(QStringLiteral("QToolButton { padding: 0px; }"));
    return b;
}

} // namespace

struct TViewFrm::Busy {
    explicit Busy(TViewFrm* f) : f(f) { ++f->busy_; }
    ~Busy() {
        if (--f->busy_ == 0 && f->destroyPending_) {
            f->destroyPending_ = false;
            f->sub_->deleteLater();
        }
    }
    TViewFrm* f;
};

TViewFrm::TViewFrm(QMdiArea* area) {
    setObjectName(QStringLiteral("ViewFrm"));
    setWindowTitle(QString::fromUtf8("Просмотр советов по Delphi"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    setFont(font);

    Panel = new QWidget(this);
    Panel->setObjectName(QStringLiteral("Panel"));
    SB1 = flatButton(Panel, "SB1", QStringLiteral("+"), "Развернуть все", 15, 14);
    SB1->move(0, 1);
    SB2 = flatButton(Panel, "SB2", QString::fromUtf8("—"), "Свернуть все", 15, 14);
    SB2->move(16, 1);
    CloseBtn = flatButton(Panel, "CloseBtn", QString(), "Закрыть окно", 17, 14);
    CloseBtn->setIcon(closeGlyph());
    CloseBtn->setIconSize(QSize(9, 8));
    connect(SB1, &QToolButton::clicked, this, [this] { SB1Click(); });
    connect(SB2, &QToolButton::clicked, this, [this] { SB2Click(); });
    connect(CloseBtn, &QToolButton::clicked, this, [this] { CloseBtnClick(); });

    Splitter = new QSplitter(Qt::Horizontal, this);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setOpaqueResize(true); // the page follows while dragging
    Splitter->setChildrenCollapsible(false);
    Splitter->setHandleWidth(3);

    auto* tree = new CategoryTree(Splitter);
    TV = tree;
    TV->setObjectName(QStringLiteral("TV"));
    QFont treeFont(QStringLiteral("Tahoma"));
    treeFont.setPointSize(8);
    TV->setFont(treeFont);
    TV->setColumnCount(1);
    TV->setHeaderHidden(true);
    TV->header()->setStretchLastSection(false);
    TV->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    TV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TV->setSelectionMode(QAbstractItemView::SingleSelection);
    TV->setSelectionBehavior(QAbstractItemView::SelectRows);
    TV->setAllColumnsShowFocus(true);
    TV->setUniformRowHeights(true);
    TV->setIndentation(19);
    TV->setIconSize(QSize(treepictures::kSize, treepictures::kSize));
    TV->setExpandsOnDoubleClick(true);
    TV->setMouseTracking(true);
    TV->viewport()->setAttribute(Qt::WA_Hover, true);
    auto* style = new FullRowStyle;
    style->setParent(TV);
    TV->setStyle(style);
    delegate_ = new TreeDelegate(TV);
    TV->setItemDelegate(delegate_);
    tree->setDelegate(delegate_);
    // The selection stays plain to see when the tree loses the focus.
    QPalette pal = TV->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    TV->setPalette(pal);
    TV->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TV, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ui::guarded([&] { TVContextMenu(pos); }); });
    // Expanding and collapsing wait until the selection change is done: a
    // press that selects a node must not have the rows move under it.
    connect(TV, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) {
                QTimer::singleShot(0, this, [this, current, previous] { TVChange(current, previous); });
            });

    InfoPanel = new BevelPanel(BevelPanel::Bevel::Raised, BevelPanel::Bevel::Lowered, Splitter);
    InfoPanel->setObjectName(QStringLiteral("InfoPanel"));
    Info = new ui::PageView(InfoPanel);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    Info->browser()->setFocusPolicy(Qt::ClickFocus);
    Info->browser()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Info->browser(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ui::guarded([&] { InfoContextMenu(pos); }); });
    connect(Info, &ui::PageView::DocumentComplete, this, [this] { InfoDocumentComplete(); });
    auto* infoLayout = new QHBoxLayout(InfoPanel);
    infoLayout->setContentsMargins(2, 2, 2, 2);
    infoLayout->addWidget(Info);

    Splitter->addWidget(TV);
    Splitter->addWidget(InfoPanel);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);

    IL = treepictures::imageList();

    PMenu = new QMenu(this);
    PMenu->setObjectName(QStringLiteral("PMenu"));
    SaveFile = PMenu->addAction(QString::fromUtf8("Сохранить как файл..."));
    SaveFile->setObjectName(QStringLiteral("SaveFile"));
    connect(SaveFile, &QAction::triggered, this, [this] { ui::guarded([this] { SaveFileClick(); }); });


    ShowTopicTimer = new QTimer(this);
    ShowTopicTimer->setObjectName(QStringLiteral("ShowTopicTimer"));
    ShowTopicTimer->setInterval(1);
    connect(ShowTopicTimer, &QTimer::timeout, this, [this] { ui::guarded([this] { ShowTopicTimerTimer(); }); });
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(1);
    connect(Timer, &QTimer::timeout, this, [this] { TimerTimer(); });

    FormCreate();

    // Only once the form is whole does it go into the area, so that a
    // failure above leaves no empty child window behind.
    sub_ = area->addSubWindow(this, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                        Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    sub_->setObjectName(QStringLiteral("ViewFrmWindow"));
    // Destruction is ours (scheduleDestroy), so that it never comes while
    // a handler of this window is still running.
    sub_->setAttribute(Qt::WA_DeleteOnClose, false);
    sub_->resize(595, 428);
    const QWidget* main = area->window();
    const QPoint centre = area->mapFrom(main, main->rect().center());
    sub_->move(centre - QPoint(sub_->width() / 2, sub_->height() / 2));
    connect(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
        if (w && w != sub_)
            FormDeactivate();
    });
    qApp->installEventFilter(this);
    Timer->start();
}

TViewFrm::~TViewFrm() {
    if (ViewFrm == this)
        ViewFrm = nullptr;
}

void TViewFrm::FormCreate() {
    NodeImage = static_cast<int>(IL.size()) - 2;
    SelectedImage = static_cast<int>(IL.size()) - 1;
    LoadTreeWidth();
}

void TViewFrm::LoadTreeWidth() {
    treeWidth_ = settings::LoadTreeWidth();
    TV->resize(treeWidth_, TV->height());
    if (Splitter->width() > 0)
        Splitter->setSizes({treeWidth_, std::max(1, Splitter->width() - treeWidth_)});
}

void TViewFrm::SaveTreeWidth() { settings::SaveTreeWidth(splitterSized_ ? TV->width() : treeWidth_); }

void TViewFrm::BringUp() {
    sub_->show();
    sub_->showMaximized();
    sub_->raise();
    if (QMdiArea* area = sub_->mdiArea())
        area->setActiveSubWindow(sub_);
}

void TViewFrm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!shown_) {
        shown_ = true;
        ui::guarded([this] { FormShow(); });
    }
}

void TViewFrm::FormShow() {
    Busy busy(this);
    // Gone when the load ends, however it ends.
    std::unique_ptr<TProgress> progress(new TProgress(window()));
    Progress = progress.get();
    progress->ShowAndPaint();

    LoadTree(*TV, IL, [&progress](int, int articles, int total) {
        progress->Step(LoadPosition(articles, total));
    });

    if (QTreeWidgetItem* first = TV->topLevelItem(0)) {
        TV->setCurrentItem(first);
        ShowNodePage(first);
    } else {
        Info->Navigate(text::toQ(EmptyCataloguePage()));
    }
    ProcessMessagesFor(50);
    // Where the platform activated the progress window all the same, the
    // activation goes back to where it was.
    const bool tookActivation = progress->isActiveWindow();
    progress.reset();
    if (tookActivation)
        window()->activateWindow();
    // Closed or deactivated during the pause: it is on its way out.
    if (!dying_)
        ShowTopicTimer->start();
}

void TViewFrm::closeEvent(QCloseEvent* e) {
    // A width that cannot be stored is reported and keeps the window open.
    bool saved = false;
    ui::guarded([this, &saved] {
        FormClose();
        saved = true;
    });
    if (!saved) {
        e->ignore();
        return;
    }
    e->accept();
    scheduleDestroy();
}

void TViewFrm::FormClose() { SaveTreeWidth(); }

void TViewFrm::scheduleDestroy() {
    if (dying_)
        return;
    dying_ = true;
    if (ViewFrm == this)
        ViewFrm = nullptr;
    ShowTopicTimer->stop();
    if (busy_ > 0)
        destroyPending_ = true;
    else
        sub_->deleteLater();
}

void TViewFrm::FormDeactivate() { scheduleDestroy(); }

bool TViewFrm::isOtherForm(const QWidget* w) const {
    if (w == window() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip ||
        w->windowType() == Qt::SplashScreen)
        return false;
    // Message boxes (error reports among them) and the progress window are
    // no forms of their own; the save dialog and its questions belong to
    // this window.
    if (qobject_cast<const QMessageBox*>(w) || dynamic_cast<const TProgress*>(w))
        return false;
    for (const QWidget* p = w; p; p = p->parentWidget())
        if (p == this)
            return false;
    return true;
}

void TViewFrm::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    layoutParts();
}

void TViewFrm::layoutParts() {
    Panel->setGeometry(0, 0, width(), 17);
    Splitter->setGeometry(0, 17, width(), std::max(0, height() - 17));
    if (!splitterSized_ && Splitter->width() > 0) {
        splitterSized_ = true;
        Splitter->setSizes({treeWidth_, std::max(1, Splitter->width() - treeWidth_)});
    }
    FormResize();
}

void TViewFrm::FormResize() { CloseBtn->move(Panel->width() - CloseBtn->width() - 2, 1); }

void TViewFrm::SB1Click() { TV->expandAll(); }

void TViewFrm::SB2Click() { TV->collapseAll(); }

void TViewFrm::CloseBtnClick() { sub_->close(); }

QTreeWidgetItem* TViewFrm::Selected() const {
    if (menuNode_)
        return menuNode_;
    QTreeWidgetItem* current = TV->currentItem();
    return current && current->isSelected() ? current : nullptr;
}

void TViewFrm::TVChange(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    // Single-expand: the new node opens, the branch of the one before
    // closes up to where the two meet.
    if (!current)
        return;
    auto isAncestorOrSelf = [](const QTreeWidgetItem* a, const QTreeWidgetItem* n) {
        for (; n; n = n->parent())
            if (n == a)
                return true;
        return false;
    };
    for (QTreeWidgetItem* p = previous; p && !isAncestorOrSelf(p, current); p = p->parent())
        p->setExpanded(false);
    current->setExpanded(true);
}

void TViewFrm::TVClick() {
    Busy busy(this);
    if (QTreeWidgetItem* node = Selected())
        ShowNodePage(node);
}

void TViewFrm::ShowNodePage(QTreeWidgetItem* node) {
    if (NodeLevel(node) >= 2) {
        fb::Query& q4 = DataFrm->IBSQL4;
        try {
            const std::string article = readArticle(q4, NodeArticleID(node));
            TempPageFileName = GetTempHTMLFileName();
            const bool unique = !TempPageFileName.endsWith(QLatin1String("/TemporaryHTMLFile.html"));
            writeWholeFile(TempPageFileName, article, !unique);
            Info->Navigate(TempPageFileName);
        } catch (...) {
            closeQuietly(q4);
            throw;
        }
        q4.Close();
    } else {
        Info->Navigate(text::toQ(BuildNodePage(node)));
    }
}

void TViewFrm::InfoDocumentComplete() {
    if (!TempPageFileName.isEmpty())
        QFile::remove(TempPageFileName); // already gone: nothing to do
}

void TViewFrm::ShowTopicTimerTimer() {
    if (ShowTopicID == 0 || ShowTopicID == lastMissingTopic_)
        return;
    QTreeWidgetItem* found = nullptr;
    for (QTreeWidgetItemIterator it(TV); *it; ++it) {
        if (NodeLevel(*it) == 2 && NodeArticleID(*it) == ShowTopicID) {
            found = *it;
            break;
        }
    }
    if (!found) {
        // The tree does not change once loaded: no need to look again until
        // another article is asked for.
        lastMissingTopic_ = ShowTopicID;
        return;
    }
    Busy busy(this);
    for (QTreeWidgetItem* p = found->parent(); p; p = p->parent())
        p->setExpanded(true);
    TV->setCurrentItem(found);
    TV->scrollToItem(found);
    // Served before the page is shown: a page that fails is reported once,
    // not at every tick.
    ShowTopicID = 0;
    ShowNodePage(found);
}

void TViewFrm::TimerTimer() {
    if (QTreeWidgetItem* node = Selected())
        SaveFile->setEnabled(NodeLevel(node) == 2);
}

void TViewFrm::TVContextMenu(const QPoint& pos) {
    Busy busy(this);
    // The node under the mouse counts as selected while the menu is shown;
    // the page stays as it is.
    menuNode_ = TV->itemAt(pos);
    delegate_->drop = menuNode_ ? QPersistentModelIndex(TV->indexFromItem(menuNode_)) : QPersistentModelIndex();
    TV->viewport()->update();
    TimerTimer();
    struct Restore {
        TViewFrm* f;
        ~Restore() {
            f->menuNode_ = nullptr;
            f->delegate_->drop = QPersistentModelIndex();
            f->TV->viewport()->update();
        }
    } restore{this};
    PMenu->exec(TV->viewport()->mapToGlobal(pos));
}

void TViewFrm::InfoContextMenu(const QPoint& pos) {
    Busy busy(this);
    TimerTimer();
    PMenu->exec(Info->browser()->viewport()->mapToGlobal(pos));
}

// Made at the first save: a file dialog costs more to make than the rest of
// the window, and the browser is made anew every time it is opened.
void TViewFrm::makeSaveDialog() {
    SD = new QFileDialog(this, QString::fromUtf8("Сохранение совета в файл..."));
    SD->setObjectName(QStringLiteral("SD"));
    SD->setAcceptMode(QFileDialog::AcceptSave);
    SD->setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog everywhere: the same overwrite question and
    // default-extension rule on every desktop.
    SD->setOption(QFileDialog::DontUseNativeDialog, true);
    SD->setOption(QFileDialog::DontConfirmOverwrite, false);
    SD->setNameFilter(QString::fromUtf8("HTML файлы (*.htm*)"));
    SD->setDefaultSuffix(QStringLiteral("html"));
    SD->setFilter(SD->filter() | QDir::Hidden);
    SD->setSizeGripEnabled(true);
}

void TViewFrm::SaveFileClick() {
    Busy busy(this);
    QTreeWidgetItem* node = Selected();
    if (!node)
        return;
    if (!SD)
        makeSaveDialog();
    SD->selectFile(text::toQ(MakeFileName(NodeName(node))));
    if (execSaveDialog(*SD) != QDialog::Accepted)
        return;
    node = Selected();
    const QStringList chosen = SD->selectedFiles();
    if (!node || NodeLevel(node) != 2 || chosen.isEmpty())
        return;
    fb::Query& q4 = DataFrm->IBSQL4;
    try {
        writeWholeFile(chosen.first(), readArticle(q4, NodeArticleID(node)), false);
    } catch (...) {
        closeQuietly(q4);
        throw;
    }
    q4.Close();
}

bool TViewFrm::WMMouseActivate(QObject* watched, QEvent* e) {
    if (watched != TV->viewport() && watched != Info->browser()->viewport())
        return false;
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto* me = static_cast<QMouseEvent*>(e);
        eatingRight_ = me->button() == Qt::RightButton && (!isActiveWindow() || activationFresh_);
        return eatingRight_;
    }
    case QEvent::MouseButtonRelease:
        return eatingRight_ && static_cast<QMouseEvent*>(e)->button() == Qt::RightButton;
    case QEvent::ContextMenu:
        return eatingRight_ && static_cast<QContextMenuEvent*>(e)->reason() == QContextMenuEvent::Mouse;
    default:
        return false;
    }
}

bool TViewFrm::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::WindowActivate: {
        if (!watched->isWidgetType())
            break;
        auto* w = static_cast<QWidget*>(watched);
        if (!w->isWindow())
            break;
        if (w == window()) {
            // A press that activates the window arrives with or right after
            // its activation; until the events at hand are done it counts as
            // a press on an inactive window.
            activationFresh_ = true;
            QTimer::singleShot(0, this, [this] { activationFresh_ = false; });
        } else if (!dying_ && isOtherForm(w)) {
            FormDeactivate();
        }
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::ContextMenu:
        if (WMMouseActivate(watched, e))
            return true;
        // A right click selects nothing: the menu alone follows the node.
        if (watched == TV->viewport() && e->type() != QEvent::ContextMenu &&
            static_cast<QMouseEvent*>(e)->button() == Qt::RightButton)
            return true;
        if (e->type() == QEvent::MouseButtonRelease && watched == TV->viewport() &&
            static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
            ui::guarded([this] { TVClick(); });
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, e);
}

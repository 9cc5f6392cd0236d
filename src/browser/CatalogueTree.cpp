// SPDX-License-Identifier: GPL-3.0-or-later

#include "CatalogueTree.h"

#include "components/text/QtText.h"
#include "components/widgets/TreePictures.h"
#include "data/UData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>
#include <map>
#include <memory>

int NodeImage = 16;
int SelectedImage = 17;

int NodeLevel(const QTreeWidgetItem* node) {
    int level = 0;
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        ++level;
    return level;
}

int NodeArticleID(const QTreeWidgetItem* node) {
    return node->data(0, ArticleIdRole).toInt();
}

std::string NodeName(const QTreeWidgetItem* node) {
    return node->data(0, NameBytesRole).toByteArray().toStdString();
}

int NodeNumber(const QTreeWidgetItem* node) {
    return node->data(0, NodeNumberRole).toInt();
}

QTreeWidgetItem* FindCategoryNode(const QTreeWidget& tree, int cat) {
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        if (NodeNumber(tree.topLevelItem(i)) == cat)
            return tree.topLevelItem(i);
    return nullptr;
}

QTreeWidgetItem* FindSubcategoryNode(const QTreeWidget& tree, int cat, int subcat) {
    QTreeWidgetItem* category = FindCategoryNode(tree, cat);
    for (int i = 0; category && i < category->childCount(); ++i)
        if (NodeNumber(category->child(i)) == subcat)
            return category->child(i);
    return nullptr;
}

QTreeWidgetItem* FindArticleNode(const QTreeWidget& tree, int id) {
    for (int c = 0; c < tree.topLevelItemCount(); ++c) {
        const QTreeWidgetItem* category = tree.topLevelItem(c);
        for (int s = 0; s < category->childCount(); ++s) {
            QTreeWidgetItem* sub = category->child(s);
            for (int a = 0; a < sub->childCount(); ++a)
                if (NodeArticleID(sub->child(a)) == id)
                    return sub->child(a);
        }
    }
    return nullptr;
}

namespace {

// A tree node keeps what it shows as plain members and answers the view's
// questions from them: tens of thousands of nodes are made in one load, and
// a node of QTreeWidgetItem's own, with a stored value per role, costs
// several times as much to make and to keep. The text is decoded when the
// view asks for it, which is only for the rows on screen.
class TreeNode : public QTreeWidgetItem {
public:
    TreeNode(std::string name, const QIcon& icon, int image, int articleId, int number)
        : name_(std::move(name)), icon_(icon), image_(image), articleId_(articleId),
          number_(number) {}

    void rename(std::string name) {
        name_ = std::move(name);
        emitDataChanged();
    }

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
        case NodeNumberRole:
            return number_;
        default:
            return QTreeWidgetItem::data(column, role);
        }
    }

private:
    std::string name_;
    QIcon icon_;
    int image_;
    int articleId_;
    int number_;
};

class NodeFactory {
public:
    explicit NodeFactory(const std::vector<QPixmap>& pictures) : pictures_(pictures) {}

    QTreeWidgetItem* make(std::string name, int image, int articleId, int number) {
        const bool valid = validImage(image);
        return new TreeNode(std::move(name), icon(image), valid ? image : -1, articleId, number);
    }
    QTreeWidgetItem* category(std::string name, int num) {
        return make(std::move(name), num - 1, -1, num);
    }
    QTreeWidgetItem* subcategory(std::string name, int num) {
        return make(std::move(name), NodeImage, -1, num);
    }
    QTreeWidgetItem* article(std::string name, int id) {
        return make(std::move(name), NodeImage, id, id);
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
            ic.addPixmap(treepictures::none(), QIcon::Normal);
        }
        if (validImage(SelectedImage))
            ic.addPixmap(pictures_[static_cast<size_t>(SelectedImage)], QIcon::Selected);
        return icons_.emplace(key, ic).first->second;
    }

    const std::vector<QPixmap>& pictures_;
    std::map<int, QIcon> icons_;
};

// Each category goes into the tree with all its children: one insertion
// per category instead of one per node.
void addCategories(QTreeWidget& tree, NodeFactory& nodes, Catalogue& catalogue) {
    for (CatalogueCategory& cat : catalogue) {
        std::unique_ptr<QTreeWidgetItem> category(nodes.category(std::move(cat.name), cat.num));
        for (CatalogueSubcategory& s : cat.subcategories) {
            QTreeWidgetItem* sub = nodes.subcategory(std::move(s.name), s.num);
            category->addChild(sub);
            for (CatalogueArticle& a : s.articles)
                sub->addChild(nodes.article(std::move(a.name), a.id));
        }
        tree.addTopLevelItem(category.release());
    }
}

} // namespace

void LoadTree(QTreeWidget& tree, const std::vector<QPixmap>& pictures,
              const std::function<void(int, int, int)>& step) {
    NodeFactory nodes(pictures);
    Catalogue catalogue;
    try {
        LoadCatalogue({DataFrm->IBSQL1, DataFrm->IBSQL2, DataFrm->IBSQL3, DataFrm->IBSQL4},
                      catalogue, step);
    } catch (...) {
        addCategories(tree, nodes, catalogue);
        throw;
    }
    addCategories(tree, nodes, catalogue);
}

void RefreshNodes(QTreeWidget& tree, const std::vector<QPixmap>& pictures, int cat,
                  std::optional<int> subcat) {
    NodeFactory nodes(pictures);
    fb::Query& q = DataFrm->IBSQL4;
    QTreeWidgetItem* category = FindCategoryNode(tree, cat);
    const std::optional<std::string> name = ReadCategoryName(q, cat);
    if (!name) {
        delete category;
        return;
    }
    // Renamed or new: it goes where the load would put it.
    const std::vector<int> order = CategoryOrder(q);
    const auto at = std::find(order.begin(), order.end(), cat);
    const int place = std::min(static_cast<int>(at - order.begin()), tree.topLevelItemCount());
    if (!category) {
        category = nodes.category(*name, cat);
        tree.insertTopLevelItem(place, category);
    } else {
        static_cast<TreeNode*>(category)->rename(*name);
        const int now = tree.indexOfTopLevelItem(category);
        if (now != place && place < tree.topLevelItemCount()) {
            const bool open = category->isExpanded();
            tree.takeTopLevelItem(now);
            tree.insertTopLevelItem(std::min(place, tree.topLevelItemCount()), category);
            category->setExpanded(open);
        }
    }
    if (!subcat)
        return;
    QTreeWidgetItem* sub = FindSubcategoryNode(tree, cat, *subcat);
    std::optional<CatalogueSubcategory> read = ReadSubcategory(q, cat, *subcat);
    if (!read) {
        delete sub;
        return;
    }
    if (!sub) {
        sub = nodes.subcategory(std::move(read->name), *subcat);
        category->addChild(sub);
    } else {
        static_cast<TreeNode*>(sub)->rename(std::move(read->name));
    }
    // The articles are made anew: one renamed keeps its place by name.
    qDeleteAll(sub->takeChildren());
    QList<QTreeWidgetItem*> articles;
    articles.reserve(static_cast<qsizetype>(read->articles.size()));
    for (CatalogueArticle& a : read->articles)
        articles.append(nodes.article(std::move(a.name), a.id));
    sub->addChildren(articles);
}

std::string BuildNodePage(const QTreeWidgetItem* node) {
    if (NodeLevel(node) == 0)
        return BuildNodePage(0, NodeName(node), std::string());
    return BuildNodePage(1, NodeName(node->parent()), NodeName(node));
}

void ProcessMessagesFor(int ms) {
    QElapsedTimer clock; // monotonic
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (clock.elapsed() < ms)
            QThread::msleep(1);
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The catalogue as the browser's tree shows it: one node per category,
// subcategory and article, made from the catalogue read by LoadCatalogue.

#include "Catalogue.h"

#include <QPixmap>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

// What each node of the tree carries besides its text.
enum NodeRole {
    ArticleIdRole = Qt::UserRole, // int: HINTS.ID for articles, -1 otherwise
    NameBytesRole,                // QByteArray: the name as the database gave it
    ImageIndexRole,               // int: the picture, -1 for none
    SelectedIndexRole,            // int: the picture when selected
    NodeNumberRole,               // int: NUM of a category or subcategory, ID of an article
};

// 0 for a category, 1 for a subcategory, 2 for an article.
int NodeLevel(const QTreeWidgetItem* node);
int NodeArticleID(const QTreeWidgetItem* node);
// The node's name as Windows-1251 bytes, exactly as read.
std::string NodeName(const QTreeWidgetItem* node);
// The category's or subcategory's number, or the article's ID.
int NodeNumber(const QTreeWidgetItem* node);
// The category node numbered cat, the subcategory node numbered subcat in
// it, the article node id anywhere; null when there is none.
QTreeWidgetItem* FindCategoryNode(const QTreeWidget& tree, int cat);
QTreeWidgetItem* FindSubcategoryNode(const QTreeWidget& tree, int cat, int subcat);
QTreeWidgetItem* FindArticleNode(const QTreeWidget& tree, int id);

// Shared by all browser windows; set whenever one is created.
extern int NodeImage;
extern int SelectedImage;

// Fills tree from the data module's queries IBSQL1 to IBSQL4. After each
// subcategory, step is called with the number of subcategories and of
// articles loaded so far and the article total. A database error ends the
// load by an exception; the nodes read before it stay in the tree.
void LoadTree(QTreeWidget& tree, const std::vector<QPixmap>& pictures,
              const std::function<void(int subcategories, int articles, int total)>& step);

// Brings the nodes of category cat, and of its subcategory subcat with its
// articles when given, in line with the database after a change of them:
// renamed, added where the load puts them, or removed when gone. Only these
// are read again, not the whole catalogue.
void RefreshNodes(QTreeWidget& tree, const std::vector<QPixmap>& pictures, int cat,
                  std::optional<int> subcat);

// The catalogue page of a category or subcategory node.
std::string BuildNodePage(const QTreeWidgetItem* node);

// Processes the application's events until ms milliseconds have passed.
void ProcessMessagesFor(int ms);

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The catalogue as the browser's tree shows it: one node per category,
// subcategory and article, made from the catalogue read by LoadCatalogue.

#include "Catalogue.h"

#include <QPixmap>

#include <functional>
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
};

// 0 for a category, 1 for a subcategory, 2 for an article.
int NodeLevel(const QTreeWidgetItem* node);
int NodeArticleID(const QTreeWidgetItem* node);
// The node's name as Windows-1251 bytes, exactly as read.
std::string NodeName(const QTreeWidgetItem* node);

// Shared by all browser windows; set whenever one is created.
extern int NodeImage;
extern int SelectedImage;

// Fills tree from the data module's queries IBSQL1 to IBSQL4. After each
// subcategory, step is called with the number of subcategories and of
// articles loaded so far and the article total. A database error ends the
// load by an exception; the nodes read before it stay in the tree.
void LoadTree(QTreeWidget& tree, const std::vector<QPixmap>& pictures,
              const std::function<void(int subcategories, int articles, int total)>& step);

// The catalogue page of a category or subcategory node.
std::string BuildNodePage(const QTreeWidgetItem* node);

// Processes the application's events until ms milliseconds have passed.
void ProcessMessagesFor(int ms);

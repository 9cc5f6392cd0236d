// SPDX-License-Identifier: GPL-3.0-or-later

#include "Search.h"

#include "components/fb/Fb.h"
#include "components/text/Collation.h"
#include "components/text/QtText.h"
#include "components/text/Strings.h"

#include <QCollatorSortKey>
#include <QHash>

#include <algorithm>

namespace search {

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> raw;
    std::string word;
    char quote = 0; // the character that opened the current stretch, if any
    for (char c : text) {
        if (quote) {
            if (c == quote)
                quote = 0;
            word += c;
        } else if (c == ' ') {
            raw.push_back(std::move(word));
            word.clear();
        } else {
            if (c == '"' || c == '\'')
                quote = c;
            word += c;
        }
    }
    raw.push_back(std::move(word));

    std::vector<std::string> words;
    for (const std::string& w : raw) {
        std::string t(text::trimmed(w));
        if (!t.empty())
            words.push_back(std::move(t));
    }
    return words;
}

std::string BuildStatement(Mode mode, size_t wordCount) {
    std::string group;
    if (mode == Mode::ExactText) {
        group = "UPPER(A.NAME) CONTAINING UPPER(:SEARCH_WORD)";
    } else {
        const char* joint = mode == Mode::AllWords ? " AND " : " OR ";
        for (size_t k = 1; k <= wordCount; ++k) {
            if (k > 1)
                group += joint;
            group += "UPPER(A.NAME) CONTAINING UPPER(:SW" + std::to_string(k) + ")";
        }
    }
    return std::string(BaseStatement) + "\r\n" + " AND (" + group + ")";
}

std::vector<std::string> StatementParams(Mode mode, const std::string& text,
                                         const std::vector<std::string>& words) {
    if (mode == Mode::ExactText)
        return {text};
    return words;
}

std::vector<Hit> Find(fb::Query& q, Mode mode, const std::string& text) {
    const std::vector<std::string> words = SplitWords(text);
    q.Close();
    // A text of blanks alone has no word to look for: no hits, and no
    // statement with an empty condition group to fail on.
    if (mode != Mode::ExactText && words.empty())
        return {};

    q.setSQL(BuildStatement(mode, words.size()));
    const std::vector<std::string> params = StatementParams(mode, text, words);
    for (size_t i = 0; i < params.size(); ++i)
        q.Params(static_cast<int>(i)).setAsString(params[i]);
    q.Prepare();
    q.ExecQuery();

    std::vector<Hit> hits;
    while (!q.Eof()) {
        hits.push_back({q.Fields(1).AsString(), q.Fields(2).AsString(), q.Fields(3).AsString(),
                        q.Fields(0).AsString()});
        q.Next();
    }
    q.Close();
    return hits;
}

int CompareHits(const QCollator& collator, const QStringList& a, const QStringList& b) {
    // A missing text compares as empty.
    return text::compareInTurn(
        collator, {1, 0, 2}, [&a](int c) { return a.value(c); },
        [&b](int c) { return b.value(c); });
}

QCollator ListCollator() {
    return text::listCollator();
}

std::vector<QStringList> OrderedRows(const QCollator& collator, const std::vector<Hit>& hits) {
    // The list's order (LVCompare's) from collation keys made once per text:
    // comparing keys is a byte comparison, where comparing texts runs the
    // collation afresh for every pair, thousands of times for a common word.
    // Category and subcategory names repeat: each is converted and given its
    // key once.
    struct Row {
        QStringList texts; // name, category, subcategory, ID
        int keys[3];       // category, name, subcategory
    };
    std::vector<Row> rows;
    rows.reserve(hits.size());
    std::vector<QCollatorSortKey> keys;
    auto newKey = [&](const QString& text) {
        keys.push_back(collator.sortKey(text));
        return static_cast<int>(keys.size()) - 1;
    };
    struct Known {
        QString text;
        int key;
    };
    QHash<QByteArray, Known> repeated;
    // By value: a later insertion may move the table's entries.
    auto known = [&](const std::string& bytes) -> Known {
        const QByteArray raw =
            QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
        auto it = repeated.constFind(raw);
        if (it == repeated.constEnd()) {
            const QString text = text::toQ(bytes);
            it = repeated.insert(QByteArray(raw), Known{text, newKey(text)});
        }
        return it.value();
    };
    for (const search::Hit& h : hits) {
        const Known category = known(h.category);
        const Known subcategory = known(h.subcategory);
        const QString name = text::toQ(h.name);
        rows.push_back({{name, category.text, subcategory.text, text::toQ(h.id)},
                        {category.key, newKey(name), subcategory.key}});
    }
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        for (int k = 0; k < 3; ++k) {
            const int ka = rows[a].keys[k], kb = rows[b].keys[k];
            if (ka == kb)
                continue;
            const int c = keys[static_cast<size_t>(ka)].compare(keys[static_cast<size_t>(kb)]);
            if (c != 0)
                return c < 0;
        }
        return false;
    });

    std::vector<QStringList> out;
    out.reserve(rows.size());
    for (size_t i : order)
        out.push_back(std::move(rows[i].texts));
    return out;
}

} // namespace search

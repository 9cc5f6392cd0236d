// SPDX-License-Identifier: GPL-3.0-or-later

#include "FullText.h"

#include "Process.h"
#include "components/text/Cp1251.h"
#include "search/DbArticleSource.h"

#include <xapian.h>

#include <filesystem>

namespace bench {

struct BareXapian::State {
    Xapian::Database db;
    Xapian::QueryParser qp;
    Xapian::docid last = 0; // the hits are read, not only counted
};

BareXapian::BareXapian(const std::string& folder) : state_(std::make_unique<State>()) {
    state_->db = Xapian::Database(folder);
    state_->qp.set_stemmer(Xapian::Stem("russian"));
    state_->qp.set_stemming_strategy(Xapian::QueryParser::STEM_SOME);
}

BareXapian::~BareXapian() = default;

double BareXapian::searchMs(const std::string& utf8, fulltext::Mode mode, size_t* hits) {
    const double t0 = nowMs();
    state_->qp.set_default_op(mode == fulltext::Mode::AnyWord ? Xapian::Query::OP_OR
                                                              : Xapian::Query::OP_AND);
    const std::string text = mode == fulltext::Mode::Phrase ? '"' + utf8 + '"' : utf8;
    Xapian::Enquire enquire(state_->db);
    enquire.set_query(state_->qp.parse_query(text, Xapian::QueryParser::FLAG_PHRASE));
    const Xapian::MSet mset = enquire.get_mset(0, 500);
    for (auto it = mset.begin(); it != mset.end(); ++it)
        state_->last = *it;
    if (hits)
        *hits = mset.size();
    return nowMs() - t0;
}

double fullTextSearchMs(fulltext::Index& index, fb::Query& q, const std::string& utf8,
                        fulltext::Mode mode, size_t* rows) {
    const double t0 = nowMs();
    const fulltext::Result r = index.search(text::utf8ToCp1251(utf8), mode);
    const auto list = search::hitRows(q, r.hits);
    if (rows)
        *rows = list.size();
    return nowMs() - t0;
}

uint64_t folderBytes(const std::string& folder) {
    uint64_t bytes = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            bytes += e.file_size();
    return bytes;
}

} // namespace bench

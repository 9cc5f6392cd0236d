// SPDX-License-Identifier: GPL-3.0-or-later

#include "Index.h"

#include "Analysis.h"
#include "Durability.h"
#include "Pipeline.h"
#include "components/text/Cp1251.h"

#include <xapian.h>

#include <algorithm>
#include <deque>
#include <exception>
#include <filesystem>
#include <optional>
#include <set>

namespace fs = std::filesystem;

namespace fulltext {

namespace {

// Raised whenever what the index stores or how it makes its terms changes,
// so that an index of the old kind is built anew.
const char* const kFormat = "3";
const char* const kFormatKey = "tipsara.format";
const char* const kDatabaseKey = "tipsara.database";

// Progress is reported after this many articles.
constexpr int kProgressStep = 64;

// The newest documents whose articles are compared with the database's at
// opening (see sameArticles).
constexpr size_t kNewestChecked = 16;

Error indexError(const Xapian::Error& e) {
    return Error(text::utf8ToCp1251("Ошибка полнотекстового индекса: " + e.get_description()));
}

// Whether the newest documents of the index are of the articles the
// database has under their numbers. Another database made from the same
// file shares its path, its creation stamp and its older articles, but not
// the articles added to it since; an article the database has lost is no
// sign (the catch-up drops it).
bool sameArticles(ArticleReader& articles, const Xapian::Database& index,
                  const std::deque<Xapian::docid>& newest) {
    for (Xapian::docid id : newest) {
        const std::optional<Article> a =
            articles.article(static_cast<int32_t>(std::min<Xapian::docid>(id, INT32_MAX)));
        if (a && detail::signature(a->name, a->html.size()) !=
                     index.get_document(id).get_value(detail::kSignatureSlot))
            return false;
    }
    return true;
}

bool reportProgress(const Progress& progress, int done, int total) {
    return !progress || progress(done, std::max(done, total));
}

} // namespace

struct Index::State {
    Xapian::Database db;
    std::optional<Xapian::WritableDatabase> writer;
    detail::Analyzer analyzer;
    // For snippets; it remembers the stems it has made.
    Xapian::Stem stemmer = detail::makeStemmer();
    // Set while a build or a long catch-up writes on its own thread.
    detail::Pipeline* pipeline = nullptr;
    // Commits are not flushed one by one (see Durability.h); empty when the
    // boot cannot be told, and then every commit is flushed.
    std::string boot;
    bool marked = false;

    void add(int32_t id, const std::string& title, const std::string& html) {
        // Xapian numbers documents from 1; the generator gives no article a
        // lower ID.
        if (id <= 0)
            return;
        Xapian::Document doc = analyzer.document(title, html);
        if (pipeline)
            pipeline->put(static_cast<Xapian::docid>(id), std::move(doc));
        else
            writer->replace_document(static_cast<Xapian::docid>(id), doc);
    }

    // Commits, first leaving the boot's mark in the folder (flushed, once
    // per session) when the commit itself is not flushed.
    void commit(const std::string& folder) {
        if (!boot.empty() && !marked) {
            detail::setMark(folder, boot);
            marked = true;
        }
        writer->commit();
    }

    // Adds every committed article with an ID above `after`.
    int addAfter(ArticleReader& articles, Xapian::docid after, const Progress& progress, int done,
                 int total, bool& cancelled) {
        int added = 0;
        articles.eachAfter(static_cast<int32_t>(std::min<Xapian::docid>(after, INT32_MAX)),
                           [&](const Article& a) {
                               add(a.id, a.name, a.html);
                               ++added;
                               if ((done + added) % kProgressStep == 0 &&
                                   !reportProgress(progress, done + added, total)) {
                                   cancelled = true;
                                   return false;
                               }
                               return true;
                           });
        return added;
    }

    // Indexes the given articles afresh, dropping those the database lacks.
    int addEach(ArticleReader& articles, const std::vector<int32_t>& ids, const Progress& progress,
                int done, int total, bool& cancelled) {
        int added = 0;
        for (int32_t id : ids) {
            if (const std::optional<Article> a = articles.article(id)) {
                add(id, a->name, a->html);
                ++added;
            } else if (id > 0) {
                try {
                    writer->delete_document(static_cast<Xapian::docid>(id));
                } catch (const Xapian::DocNotFoundError&) {
                }
            }
            if ((done + added) % kProgressStep == 0 &&
                !reportProgress(progress, done + added, total)) {
                cancelled = true;
                break;
            }
        }
        return added;
    }
};

std::string indexFolderFor(const std::string& dbPath) {
    fs::path p(dbPath);
    p.replace_extension(".idx");
    return p.string();
}

Index::Index(std::string folder) : folder_(std::move(folder)) {}

Index::~Index() {
    try {
        close();
    } catch (const std::exception&) {
        // The mark stays; the next start trusts the index on this boot.
    }
}

bool Index::isOpen() const {
    return state_ != nullptr;
}

bool Index::readOnly() const {
    return state_ && !state_->writer;
}

void Index::close() {
    if (!state_)
        return;
    const bool marked = state_->marked;
    try {
        if (state_->writer)
            state_->writer->close();
        state_->db.close();
    } catch (const Xapian::Error&) {
        // Closing drops nothing committed; a failure here loses nothing.
    }
    state_.reset();
    if (marked) {
        // The commits of this session go to the disk; then the mark may go.
        // Should that fail, the mark stays: on this boot the index is still
        // trusted, after a system crash it is built anew.
        try {
            detail::clearMark(folder_);
        } catch (const std::exception&) {
        }
    }
}

bool Index::open(ArticleSource& source) {
    close();
    if (!detail::ownFolder(folder_))
        return false;
    const std::unique_ptr<ArticleReader> articles = source.read();
    const std::string want = articles->identity();
    auto state = std::make_unique<State>();
    state->boot = detail::bootId();
    switch (detail::readMark(folder_, state->boot)) {
    case detail::Mark::None:
        break;
    case detail::Mark::ThisBoot:
        // A program that ended abruptly: the system has its commits; this
        // session flushes them when it closes.
        state->marked = true;
        break;
    case detail::Mark::Lost:
        // Commits left unflushed by a session of an earlier boot may be lost.
        return false;
    }
    try {
        try {
            state->writer.emplace(folder_,
                                  Xapian::DB_OPEN | (state->boot.empty() ? 0 : Xapian::DB_NO_SYNC));
            state->db = *state->writer;
        } catch (const Xapian::DatabaseLockError&) {
            state->db = Xapian::Database(folder_);
            // The copy that writes flushes its own commits.
            state->marked = false;
        }
        if (state->db.get_metadata(kFormatKey) != kFormat ||
            state->db.get_metadata(kDatabaseKey) != want)
            return false;
        // Read the tables once, so that a damaged index is found now and not
        // in the middle of a search.
        Xapian::doccount n = 0;
        std::deque<Xapian::docid> newest;
        for (auto it = state->db.postlist_begin(""); it != state->db.postlist_end(""); ++it) {
            ++n;
            newest.push_back(*it);
            if (newest.size() > kNewestChecked)
                newest.pop_front();
        }
        if (n != state->db.get_doccount())
            return false;
        for (Xapian::docid id : {newest.empty() ? 0 : *state->db.postlist_begin(""),
                                 newest.empty() ? 0 : newest.back()}) {
            if (id == 0)
                continue;
            const Xapian::Document doc = state->db.get_document(id);
            if (!detail::intact(doc, doc.get_data()))
                return false;
        }
        if (!sameArticles(*articles, state->db, newest))
            return false;
    } catch (const Xapian::Error&) {
        return false;
    }
    state_ = std::move(state);
    return true;
}

bool Index::build(const std::string& folder, ArticleSource& source, const Progress& progress) {
    const std::string fresh = folder + ".new";
    std::error_code ec;
    fs::remove_all(fresh, ec);
    fs::remove_all(folder + ".old", ec);
    bool cancelled = false;
    try {
        const std::unique_ptr<ArticleReader> articles = source.read();
        const std::string id = articles->identity();
        const int total = articles->count();
        if (!reportProgress(progress, 0, total))
            return false;
        State state;
        // Nothing of it is used before it is complete: it is flushed to the
        // disk once, before it takes the old one's place.
        state.writer.emplace(fresh, Xapian::DB_CREATE_OR_OVERWRITE | Xapian::DB_BACKEND_GLASS |
                                        Xapian::DB_NO_SYNC);
        int done = 0;
        {
            detail::Pipeline pipeline(*state.writer);
            state.pipeline = &pipeline;
            done = state.addAfter(*articles, 0, progress, 0, total, cancelled);
            if (!cancelled)
                pipeline.finish();
            state.pipeline = nullptr;
        }
        if (!cancelled && !reportProgress(progress, done, total))
            cancelled = true;
        if (!cancelled) {
            state.writer->set_metadata(kFormatKey, kFormat);
            state.writer->set_metadata(kDatabaseKey, id);
            state.writer->commit();
        }
        state.writer->close();
        if (!cancelled)
            detail::syncFolder(fresh);
    } catch (const Xapian::Error& e) {
        fs::remove_all(fresh, ec);
        throw indexError(e);
    } catch (...) {
        fs::remove_all(fresh, ec);
        throw;
    }
    if (cancelled) {
        fs::remove_all(fresh, ec);
        return false;
    }
    try {
        detail::putInPlace(fresh, folder);
    } catch (const fs::filesystem_error& e) {
        fs::remove_all(fresh, ec);
        throw Error(text::utf8ToCp1251("Полнотекстовый индекс не удалось заменить: ") + e.what());
    }
    return true;
}

bool Index::openOrBuild(ArticleSource& source, const Progress& progress) {
    if (!open(source)) {
        if (!build(folder_, source, progress))
            return false;
        if (!open(source))
            throw Error(
                text::utf8ToCp1251("Полнотекстовый индекс не открывается после построения: ") +
                folder_);
    }
    catchUp(source, progress);
    return true;
}

int Index::catchUp(ArticleSource& source, const Progress& progress) {
    if (!state_ || !state_->writer)
        return 0;
    try {
        const std::unique_ptr<ArticleReader> articles = source.read();
        const std::vector<int32_t> inDb = articles->ids();
        Xapian::WritableDatabase& w = *state_->writer;
        const Xapian::docid last = w.get_lastdocid();
        // Articles gone from the database leave the index; those it lacks
        // below the newest it has are added one by one, the newer ones in
        // one pass.
        std::vector<int32_t> holes;
        std::vector<Xapian::docid> gone;
        size_t k = 0;
        int newer = 0;
        for (auto it = w.postlist_begin(""); it != w.postlist_end(""); ++it) {
            const auto docid = static_cast<int64_t>(*it);
            while (k < inDb.size() && inDb[k] < docid) {
                if (inDb[k] > 0)
                    holes.push_back(inDb[k]);
                ++k;
            }
            if (k < inDb.size() && inDb[k] == docid)
                ++k;
            else
                gone.push_back(*it);
        }
        for (Xapian::docid docid : gone)
            w.delete_document(docid);
        const bool dropped = !gone.empty();
        for (; k < inDb.size(); ++k) {
            if (inDb[k] <= 0)
                continue;
            if (static_cast<Xapian::docid>(inDb[k]) <= last)
                holes.push_back(inDb[k]);
            else
                ++newer;
        }
        const int total = static_cast<int>(holes.size()) + newer;
        bool cancelled = false;
        int added = state_->addEach(*articles, holes, progress, 0, total, cancelled);
        if (!cancelled && newer > 0) {
            if (newer >= kProgressStep) {
                detail::Pipeline pipeline(w);
                state_->pipeline = &pipeline;
                try {
                    added += state_->addAfter(*articles, last, progress, added, total, cancelled);
                    pipeline.finish();
                } catch (...) {
                    state_->pipeline = nullptr;
                    throw;
                }
                state_->pipeline = nullptr;
            } else {
                added += state_->addAfter(*articles, last, progress, added, total, cancelled);
            }
        }
        if (added > 0 || dropped)
            state_->commit(folder_);
        return added;
    } catch (const Xapian::Error& e) {
        throw indexError(e);
    }
}

int Index::addNew(ArticleSource& source) {
    if (!state_ || !state_->writer)
        return 0;
    try {
        const std::unique_ptr<ArticleReader> articles = source.read();
        bool cancelled = false;
        const int added =
            state_->addAfter(*articles, state_->writer->get_lastdocid(), {}, 0, 0, cancelled);
        if (added > 0)
            state_->commit(folder_);
        return added;
    } catch (const Xapian::Error& e) {
        throw indexError(e);
    }
}

void Index::refresh(ArticleSource& source, const std::vector<int32_t>& ids) {
    if (!state_ || !state_->writer)
        return;
    try {
        const std::unique_ptr<ArticleReader> articles = source.read();
        bool cancelled = false;
        state_->addEach(*articles, ids, {}, 0, 0, cancelled);
        state_->commit(folder_);
    } catch (const Xapian::Error& e) {
        throw indexError(e);
    }
}

uint32_t Index::size() const {
    if (!state_)
        return 0;
    try {
        return state_->db.get_doccount();
    } catch (const Xapian::Error& e) {
        throw indexError(e);
    }
}

Result Index::search(const std::string& text, Mode mode, size_t limit) const {
    if (!state_)
        throw Error(text::utf8ToCp1251("Полнотекстовый индекс не открыт: ") + folder_);
    Result result;
    result.mode = mode;
    try {
        const Xapian::Query query = detail::parse(text, mode);
        if (query.empty())
            return result;
        result.hasWords = true;
        for (auto t = query.get_unique_terms_begin(); t != query.get_unique_terms_end(); ++t)
            result.terms.push_back(*t);
        Xapian::Enquire enquire(state_->db);
        enquire.set_query(query);
        const Xapian::MSet mset = enquire.get_mset(0, static_cast<Xapian::doccount>(limit));
        const Xapian::Stem& stemmer = state_->stemmer;
        result.hits.reserve(mset.size());
        for (auto it = mset.begin(); it != mset.end(); ++it) {
            Hit hit;
            hit.id = static_cast<int32_t>(*it);
            hit.percent = it.get_percent();
            const Xapian::Document doc = it.get_document();
            const std::string data = doc.get_data();
            if (!detail::intact(doc, data))
                throw Error(text::utf8ToCp1251("Полнотекстовый индекс повреждён: ") + folder_);
            detail::Fragment shown = detail::fragment(detail::textOf(data), result.terms, stemmer);
            // One byte a character: the marks hold for the converted text.
            hit.snippet = text::utf8ToCp1251(shown.text);
            hit.marks = std::move(shown.marks);
            result.hits.push_back(std::move(hit));
        }
    } catch (const Xapian::Error& e) {
        throw indexError(e);
    }
    return result;
}

std::optional<Result> Index::find(ArticleSource& source, const std::string& text, Mode mode,
                                  size_t limit, const Progress& progress) {
    bool built = false;
    for (;;) {
        try {
            if (!isOpen()) {
                if (!open(source)) {
                    built = true;
                    if (!build(folder_, source, progress))
                        return std::nullopt;
                    if (!open(source))
                        throw Error(text::utf8ToCp1251(
                                        "Полнотекстовый индекс не открывается после построения: ") +
                                    folder_);
                }
                catchUp(source, progress);
            }
            return search(text, mode, limit);
        } catch (const Error&) {
            // Half open is not trusted: the next search starts over.
            close();
            if (built)
                throw;
        }
        // Damage that the opening could not see (a table cut short, a block
        // garbled) is met here: the index is built anew once.
        built = true;
        if (!build(folder_, source, progress))
            return std::nullopt;
    }
}

std::vector<std::string> Index::matchedWords(const Result& result, int32_t id) const {
    std::vector<std::string> words;
    if (!state_ || id <= 0 || result.terms.empty())
        return words;
    const std::set<std::string> terms(result.terms.begin(), result.terms.end());
    Xapian::Stem stemmer = detail::makeStemmer();
    try {
        const Xapian::Document doc = state_->db.get_document(static_cast<Xapian::docid>(id));
        for (auto it = doc.termlist_begin(); it != doc.termlist_end(); ++it) {
            const std::string term = *it;
            // Stems carry the prefix "Z"; words as written are lower case.
            if (term.empty() || term[0] == 'Z')
                continue;
            const bool matched = terms.count(term) ||
                                 (result.mode != Mode::Phrase && terms.count("Z" + stemmer(term)));
            if (matched)
                words.push_back(text::utf8ToCp1251(term));
        }
    } catch (const Xapian::DocNotFoundError&) {
        return {};
    } catch (const Xapian::Error& e) {
        throw indexError(e);
    }
    return words;
}

} // namespace fulltext

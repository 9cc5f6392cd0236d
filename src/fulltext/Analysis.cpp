// SPDX-License-Identifier: GPL-3.0-or-later

#include "Analysis.h"

#include "HtmlText.h"
#include "components/text/Cp1251.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace fulltext::detail {

namespace {

// The first byte of a document's data: how its text is encoded.
constexpr char kCp1251Data = 'w';
constexpr char kUtf8Data = 'u';

// Title words count this many times over a word of the text.
constexpr Xapian::termcount kTitleWeight = 5;

bool hasCyrillic(const std::string& word) {
    for (unsigned char c : word)
        if (c == 0xD0 || c == 0xD1) // lead bytes of U+0400..U+047F
            return true;
    return false;
}

// FNV-1a: kept in the index, so it must not change between builds of the
// program, as std::hash may.
std::string digest(std::string_view bytes) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return std::to_string(h);
}

class BilingualStem : public Xapian::StemImplementation {
public:
    std::string operator()(const std::string& word) override {
        // Articles repeat their words: remembering the stems saves a fifth
        // of the time the terms of a build take.
        auto [it, fresh] = cache_.try_emplace(word);
        if (fresh) {
            if (cache_.size() > kCacheLimit) {
                cache_.clear();
                it = cache_.try_emplace(word).first;
            }
            it->second = stem(word);
        }
        return it->second;
    }
    std::string get_description() const override { return "russian+english"; }

private:
    static constexpr size_t kCacheLimit = 200000;

    std::string stem(const std::string& word) {
        if (!hasCyrillic(word))
            return english_(word);
        // "ё" is mostly typed as "е"; both stem alike.
        std::string w = word;
        for (size_t i = 0; i + 1 < w.size(); ++i)
            if (static_cast<unsigned char>(w[i]) == 0xD1 &&
                static_cast<unsigned char>(w[i + 1]) == 0x91) {
                w[i] = static_cast<char>(0xD0);
                w[i + 1] = static_cast<char>(0xB5);
            }
        return russian_(w);
    }

    std::unordered_map<std::string, std::string> cache_;
    Xapian::Stem russian_{"russian"};
    Xapian::Stem english_{"english"};
};

Xapian::Query parseWith(const std::string& utf8, Xapian::Query::op defaultOp, unsigned flags) {
    Xapian::QueryParser qp;
    qp.set_stemmer(makeStemmer());
    // Stems for all words but those in quoted phrases: the text is in lower
    // case already, so a capital does not keep a word from its other forms.
    qp.set_stemming_strategy(Xapian::QueryParser::STEM_SOME);
    qp.set_default_op(defaultOp);
    return qp.parse_query(utf8, flags);
}

} // namespace

Xapian::Stem makeStemmer() {
    return Xapian::Stem(new BilingualStem);
}

Analyzer::Analyzer() {
    generator_.set_stemmer(makeStemmer());
    generator_.set_stemming_strategy(Xapian::TermGenerator::STEM_SOME);
}

Xapian::Document Analyzer::document(std::string_view title, std::string_view html) {
    Xapian::Document doc;
    std::string text = htmlToText(html);
    generator_.set_document(doc);
    generator_.index_text(text::cp1251ToUtf8(title), kTitleWeight);
    // A phrase does not run from the title into the text.
    generator_.increase_termpos();
    generator_.index_text(text);
    // Documents count their references without locking: the generator lets
    // go of this one before it can reach another thread.
    generator_.set_document(blank_);
    // Kept in Windows-1251, half the bytes of UTF-8 to store and to read
    // back for a snippet, unless the page has characters the code page lacks.
    std::string data = text::utf8ToCp1251(text);
    if (std::count(data.begin(), data.end(), '?') == std::count(text.begin(), text.end(), '?'))
        data.insert(data.begin(), kCp1251Data);
    else
        data = kUtf8Data + text;
    doc.add_value(kChecksumSlot, digest(data));
    doc.set_data(data);
    doc.add_value(kSignatureSlot, signature(title, html.size()));
    return doc;
}

std::string signature(std::string_view title, size_t htmlLength) {
    return std::to_string(htmlLength) + ":" + digest(title);
}

bool intact(const Xapian::Document& doc, const std::string& data) {
    return !data.empty() && digest(data) == doc.get_value(kChecksumSlot);
}

std::string textOf(const std::string& data) {
    if (data.empty())
        return data;
    if (data[0] == kCp1251Data)
        return text::cp1251ToUtf8(std::string_view(data).substr(1));
    return data.substr(1);
}

Xapian::Query parse(const std::string& text, Mode mode) {
    std::string words = Xapian::Unicode::tolower(text::cp1251ToUtf8(text));
    const Xapian::Query::op op =
        mode == Mode::AnyWord ? Xapian::Query::OP_OR : Xapian::Query::OP_AND;
    if (mode == Mode::Phrase) {
        std::erase(words, '"');
        words = '"' + words + '"';
    }
    try {
        return parseWith(words, op, Xapian::QueryParser::FLAG_PHRASE);
    } catch (const Xapian::QueryParserError&) {
        // Whatever the syntax could not take is searched for as plain words.
        std::erase(words, '"');
        try {
            return parseWith(words, op, 0);
        } catch (const Xapian::QueryParserError&) {
            return Xapian::Query();
        }
    }
}

} // namespace fulltext::detail

// SPDX-License-Identifier: GPL-3.0-or-later

#include "Import.h"

#include "Bundle.h"
#include "OwnCatalogue.h"
#include "components/fb/Fb.h"
#include "components/text/Cp1251.h"
#include "components/text/Strings.h"
#include "data/ArticlesChanged.h"
#include "data/Database.h"

// md4c rather than Qt's QTextDocument::setMarkdown/toHtml: the latter needs
// Qt GUI (the logic has no GUI) and writes the document back as heavy
// inline-styled HTML of its own, where md4c gives the plain HTML of the
// Markdown as written (CommonMark with the GitHub tables and strikeout).
#include <fcntl.h>
#include <md4c-html.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>

namespace fs = std::filesystem;

namespace authoring {
namespace {

using text::cp;

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool isCp1251Name(const std::string& charset) {
    const std::string n = lowerAscii(charset);
    return n == "windows-1251" || n == "cp1251" || n == "win-1251" || n == "x-cp1251" ||
           n == "win1251";
}

bool isUtf8Name(const std::string& charset) {
    const std::string n = lowerAscii(charset);
    return n == "utf-8" || n == "utf8";
}

bool charsetChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == ':' || c == '-';
}

// Where the charset name of each meta tag that declares one stands, in
// order: as the page view finds it (the name may be quoted oddly, as in
// content="...; charset="x"").
std::vector<std::pair<size_t, size_t>> charsetSpans(std::string_view page) {
    std::vector<std::pair<size_t, size_t>> spans;
    const std::string lower = lowerAscii(page);
    for (size_t at = lower.find("<meta"); at != std::string::npos;
         at = lower.find("<meta", at + 1)) {
        const size_t after = at + 5;
        if (after < lower.size() && charsetChar(lower[after]))
            continue; // another tag ("<metadata")
        size_t end = lower.find('>', at);
        if (end == std::string::npos)
            end = lower.size();
        size_t p = lower.find("charset", at);
        if (p == std::string::npos || p >= end)
            continue;
        p += 7;
        while (p < end && text::isBlank(lower[p]))
            ++p;
        if (p >= end || lower[p] != '=')
            continue;
        ++p;
        while (p < end && (text::isBlank(lower[p]) || lower[p] == '"' || lower[p] == '\''))
            ++p;
        size_t q = p;
        while (q < end && charsetChar(lower[q]))
            ++q;
        if (q > p)
            spans.emplace_back(p, q - p);
    }
    return spans;
}

bool hasUtf8Bom(std::string_view bytes) {
    return bytes.substr(0, 3) == "\xEF\xBB\xBF";
}

// Text bytes as Windows-1251 without loss: UTF-8 (a mark or well-formed),
// else Windows-1251 as it is.
std::string storedForm(std::string_view bytes) {
    if (hasUtf8Bom(bytes))
        return text::utf8ToCp1251Html(bytes.substr(3));
    if (text::isUtf8(bytes))
        return text::utf8ToCp1251Html(bytes);
    return std::string(bytes);
}

std::string escapeUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A code point in Windows-1251, '?' when the code page lacks it.
std::string codePointCp1251(char32_t cp) {
    std::string utf8;
    text::appendUtf8(utf8, cp);
    return text::utf8ToCp1251(utf8);
}

const std::map<std::string, char32_t>& namedReferences() {
    static const std::map<std::string, char32_t> names{
        {"amp", '&'},       {"lt", '<'},       {"gt", '>'},        {"quot", '"'},
        {"apos", '\''},     {"nbsp", ' '},     {"mdash", 0x2014},  {"ndash", 0x2013},
        {"laquo", 0xAB},    {"raquo", 0xBB},   {"hellip", 0x2026}, {"copy", 0xA9},
        {"reg", 0xAE},      {"trade", 0x2122}, {"euro", 0x20AC},   {"bdquo", 0x201E},
        {"ldquo", 0x201C},  {"rdquo", 0x201D}, {"lsquo", 0x2018},  {"rsquo", 0x2019},
        {"deg", 0xB0},      {"plusmn", 0xB1},  {"middot", 0xB7},   {"sect", 0xA7},
        {"numero", 0x2116}, {"bull", 0x2022},  {"shy", 0xAD},      {"times", 0xD7},
    };
    return names;
}

// Text of a piece of a page: tags dropped, references decoded, blanks
// (and the no-break space) collapsed to one space, trimmed.
std::string plainText(std::string_view html) {
    std::string decoded;
    for (size_t i = 0; i < html.size();) {
        const char c = html[i];
        if (c == '<') {
            const size_t end = html.find('>', i);
            i = end == std::string_view::npos ? html.size() : end + 1;
            decoded += ' ';
            continue;
        }
        if (c == '&') {
            const size_t end = html.find(';', i);
            if (end != std::string_view::npos && end - i <= 10) {
                const std::string name(html.substr(i + 1, end - i - 1));
                std::optional<char32_t> cp;
                if (name.size() > 1 && name[0] == '#') {
                    const bool hex = name[1] == 'x' || name[1] == 'X';
                    try {
                        size_t used = 0;
                        const std::string digits = name.substr(hex ? 2 : 1);
                        const unsigned long v = std::stoul(digits, &used, hex ? 16 : 10);
                        if (used == digits.size() && v > 0 && v <= 0x10FFFF)
                            cp = static_cast<char32_t>(v);
                    } catch (const std::exception&) {
                    }
                } else {
                    const auto it = namedReferences().find(name);
                    if (it != namedReferences().end())
                        cp = it->second;
                }
                if (cp) {
                    decoded += codePointCp1251(*cp);
                    i = end + 1;
                    continue;
                }
            }
        }
        decoded += c;
        ++i;
    }
    std::string out;
    bool blank = false;
    for (char c : decoded) {
        if (text::isBlank(c) || c == '\xA0') {
            blank = true;
            continue;
        }
        if (blank && !out.empty())
            out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// The text between <tag...> and </tag, searched from from; none when absent.
std::optional<std::string> element(const std::string& lower, std::string_view page,
                                   const std::string& tag) {
    for (size_t at = lower.find("<" + tag); at != std::string::npos;
         at = lower.find("<" + tag, at + 1)) {
        const size_t after = at + 1 + tag.size();
        if (after >= lower.size() || !(lower[after] == '>' || text::isBlank(lower[after])))
            continue;
        const size_t open = lower.find('>', after);
        if (open == std::string::npos)
            return std::nullopt;
        size_t close = lower.find("</" + tag, open);
        if (close == std::string::npos)
            close = lower.size();
        return std::string(page.substr(open + 1, close - open - 1));
    }
    return std::nullopt;
}

std::string fileStem(const std::string& fileName) {
    return text::utf8ToCp1251(fs::path(fileName).stem().string());
}

[[noreturn]] void refuse(const char* reasonUtf8) {
    throw std::runtime_error(cp(reasonUtf8));
}

// The file's bytes, refused when unreadable or too large.
std::string readLimited(const std::string& path, uint64_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(cp("не читается: ") + text::systemError(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        refuse("не обычный файл");
    }
    if (static_cast<uint64_t>(st.st_size) > limit) {
        ::close(fd);
        throw std::runtime_error(cp("больше ") + std::to_string(limit >> 20) + cp(" МБ"));
    }
    std::string data;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw std::runtime_error(cp("не читается: ") + text::systemError(error));
        }
        if (n == 0)
            break;
        data.append(buf, static_cast<size_t>(n));
        if (data.size() > limit) { // grew while being read
            ::close(fd);
            throw std::runtime_error(cp("больше ") + std::to_string(limit >> 20) + cp(" МБ"));
        }
    }
    ::close(fd);
    return data;
}

} // namespace

FileKind KindOf(const std::string& path) {
    const std::string ext = lowerAscii(fs::path(path).extension().string());
    if (ext == ".html" || ext == ".htm")
        return FileKind::Html;
    if (ext == ".md")
        return FileKind::Markdown;
    if (ext == ".txt")
        return FileKind::Text;
    if (ext == ".zip")
        return FileKind::Bundle;
    return FileKind::Unknown;
}

std::string DeclaredCharset(std::string_view page) {
    const auto spans = charsetSpans(page);
    if (spans.empty())
        return {};
    return std::string(page.substr(spans.front().first, spans.front().second));
}

std::string DecodeHtml(std::string_view bytes) {
    // A byte-order mark is surest, as in a browser; then the page's word.
    std::string stored;
    const std::string charset = hasUtf8Bom(bytes) ? std::string() : DeclaredCharset(bytes);
    if (charset.empty() || isUtf8Name(charset))
        stored = charset.empty() ? storedForm(bytes) : text::utf8ToCp1251Html(bytes);
    else if (isCp1251Name(charset))
        stored = std::string(bytes);
    else if (const std::optional<std::string> utf8 = text::charsetToUtf8(charset, bytes))
        stored = text::utf8ToCp1251Html(*utf8);
    else
        stored = storedForm(bytes); // a name nobody knows
    // The page is stored in Windows-1251 and must say so, or the page view
    // would read it in the charset it named.
    const auto spans = charsetSpans(stored);
    for (auto it = spans.rbegin(); it != spans.rend(); ++it)
        stored.replace(it->first, it->second, "windows-1251");
    return stored;
}

std::string TextAsUtf8(std::string_view bytes) {
    if (hasUtf8Bom(bytes))
        return std::string(bytes.substr(3));
    if (text::isUtf8(bytes))
        return std::string(bytes);
    return text::cp1251ToUtf8(bytes);
}

std::string MarkdownToHtml(std::string_view utf8) {
    std::string out;
    const auto append = [](const MD_CHAR* piece, MD_SIZE size, void* data) {
        static_cast<std::string*>(data)->append(piece, size);
    };
    if (md_html(utf8.data(), static_cast<MD_SIZE>(utf8.size()), append, &out, MD_DIALECT_GITHUB,
                0) != 0)
        refuse("Markdown не разобран");
    return out;
}

std::string PageTitle(std::string_view page, const std::string& fallback) {
    const std::string lower = lowerAscii(page);
    std::string title;
    if (auto t = element(lower, page, "title"))
        title = plainText(*t);
    if (title.empty()) {
        // The first heading of any level, wherever it stands.
        size_t best = std::string::npos;
        std::string tag;
        for (char level = '1'; level <= '6'; ++level) {
            const std::string h = std::string("h") + level;
            for (size_t at = lower.find("<" + h); at != std::string::npos;
                 at = lower.find("<" + h, at + 1)) {
                const size_t after = at + 3;
                if (after < lower.size() && (lower[after] == '>' || text::isBlank(lower[after]))) {
                    if (at < best) {
                        best = at;
                        tag = h;
                    }
                    break;
                }
            }
        }
        if (best != std::string::npos) {
            const std::string rest = lower.substr(best);
            if (auto t = element(rest, page.substr(best), tag))
                title = plainText(*t);
        }
    }
    if (title.empty())
        title = fallback;
    if (title.size() > MaxTitleLength)
        title = std::string(text::trimmed(title.substr(0, MaxTitleLength)));
    return title;
}

ImportedPage ConvertFile(FileKind kind, std::string_view bytes, const std::string& fileName) {
    if (bytes.find('\0') != std::string_view::npos)
        refuse("не текст: в нём нулевые байты");
    ImportedPage page;
    switch (kind) {
    case FileKind::Html:
        page.body = DecodeHtml(bytes);
        break;
    case FileKind::Markdown:
        page.body = text::utf8ToCp1251Html(MarkdownToHtml(TextAsUtf8(bytes)));
        break;
    case FileKind::Text:
        page.body = "<pre>" + text::utf8ToCp1251Html(escapeUtf8(TextAsUtf8(bytes))) + "</pre>";
        break;
    default:
        refuse("вид файла не поддерживается (ожидаются .html, .htm, .md, .txt, .zip)");
    }
    page.title = PageTitle(page.body, fileStem(fileName));
    return page;
}

Importer::Importer(fb::Query& q, const std::vector<std::string>& paths, ImportTarget target)
    : q_(q), target_(target) {
    for (const std::string& path : paths) {
        std::error_code ec;
        if (!fs::is_directory(path, ec)) {
            sources_.push_back({path, {}});
            continue;
        }
        std::vector<Source> found;
        for (auto it = fs::recursive_directory_iterator(path, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec))
                continue;
            const fs::path rel = it->path().lexically_relative(path);
            std::string subfolder;
            if (target_.subfolders && std::distance(rel.begin(), rel.end()) > 1)
                subfolder = rel.begin()->string();
            found.push_back({it->path().string(), subfolder});
        }
        if (ec)
            report_.refused.push_back(
                {path, {}, cp("папка не читается: ") + text::fromLocale(ec.message())});
        std::sort(found.begin(), found.end(),
                  [](const Source& a, const Source& b) { return a.path < b.path; });
        sources_.insert(sources_.end(), found.begin(), found.end());
    }
}

std::string Importer::current() const {
    return finished() ? std::string() : sources_[static_cast<size_t>(next_)].path;
}

void Importer::step() {
    if (finished())
        return;
    const Source& source = sources_[static_cast<size_t>(next_)];
    ++next_;
    if (KindOf(source.path) == FileKind::Bundle)
        importBundle(source);
    else
        importFile(source);
}

int32_t Importer::subcategoryFor(const Source& source) {
    if (source.subfolder.empty())
        return target_.subcat;
    const std::string name = text::utf8ToCp1251(source.subfolder);
    if (auto found = FindSubcategory(q_, target_.cat, name))
        return *found;
    return CreateSubcategory(q_, target_.cat, name);
}

void Importer::importFile(const Source& source) {
    ImportedPage page;
    try {
        const FileKind kind = KindOf(source.path);
        if (kind == FileKind::Unknown)
            refuse("вид файла не поддерживается (ожидаются .html, .htm, .md, .txt, .zip)");
        if (!target_.given)
            refuse("не указаны категория и подкатегория для отдельных файлов");
        const std::string bytes = readLimited(source.path, MaxImportFileSize);
        page = ConvertFile(kind, bytes, fs::path(source.path).filename().string());
    } catch (const std::runtime_error& e) {
        report_.refused.push_back({source.path, {}, e.what()});
        return;
    }
    int32_t subcat = 0;
    try {
        subcat = subcategoryFor(source);
    } catch (const std::invalid_argument& e) { // a folder name no subcategory can have
        report_.refused.push_back({source.path, page.title, e.what()});
        return;
    }
    add(source.path, target_.cat, subcat, page);
}

void Importer::importBundle(const Source& source) {
    dbbuild::Catalogue bundle;
    try {
        unzip::ReadLimits limits;
        limits.member = MaxImportFileSize;
        bundle = ReadBundleMembers(unzip::ReadArchive(source.path, limits),
                                   text::utf8ToCp1251(source.path));
        // Checked whole before anything is added: a bundle goes in entire or
        // not at all.
        const auto tooLong = [](const std::string& name) {
            return name.size() > MaxTitleLength || text::allBlank(name);
        };
        for (const auto& c : bundle.categories)
            if (tooLong(c.name))
                refuse("название категории пусто или длиннее 250 знаков");
        for (const auto& s : bundle.subcategories)
            if (tooLong(s.name))
                refuse("название подкатегории пусто или длиннее 250 знаков");
        for (const auto& a : bundle.articles)
            if (tooLong(a.title))
                refuse("заголовок статьи пуст или длиннее 250 знаков");
    } catch (const std::exception& e) {
        report_.refused.push_back({source.path, {}, cp("пакет отклонён: ") + e.what()});
        return;
    }
    // The bundle's categories are matched by name to the user's own, or
    // made anew; the server's are never filled from a bundle.
    std::map<int32_t, int32_t> cats;
    for (const dbbuild::Category& c : bundle.categories) {
        q_.Close();
        q_.setSQL("select min(NUM) from CATEGORIES where CATEGORY_NAME=:name and NUM>=:own");
        q_.Params(0).setAsString(c.name);
        q_.Params(1).setAsInteger(FirstOwnNumber);
        q_.ExecQuery();
        const bool found = !q_.Eof() && !q_.Fields(0).IsNull();
        const int32_t num = found ? q_.Fields(0).AsInteger() : 0;
        q_.Close();
        cats[c.num] = found ? num : CreateCategory(q_, c.name);
    }
    std::map<std::pair<int32_t, int32_t>, int32_t> subs;
    for (const dbbuild::SubCategory& s : bundle.subcategories) {
        const int32_t cat = cats.at(s.catNum);
        const auto found = FindSubcategory(q_, cat, s.name);
        subs[{s.catNum, s.num}] = found ? *found : CreateSubcategory(q_, cat, s.name);
    }
    for (const dbbuild::Article& a : bundle.articles)
        add(source.path + "/articles/" + a.file, cats.at(a.cat), subs.at({a.cat, a.subcat}),
            {a.title, a.body});
}

void Importer::add(const std::string& source, int32_t cat, int32_t subcat,
                   const ImportedPage& page) {
    q_.Close();
    q_.setSQL("select INFORMATION from HINTS where CAT=:cat and SUBCAT=:subcat and NAME=:name");
    q_.Params(0).setAsInteger(cat);
    q_.Params(1).setAsInteger(subcat);
    q_.Params(2).setAsString(page.title);
    q_.ExecQuery();
    bool present = false;
    for (; !q_.Eof() && !present; q_.Next())
        present = !q_.Fields(0).IsNull() && q_.Fields(0).AsString() == page.body;
    q_.Close();
    if (present) {
        report_.skipped.push_back({source, page.title, cp("уже есть в базе")});
        return;
    }
    q_.setSQL("insert into HINTS (CAT, SUBCAT, NAME, INFORMATION) "
              "values (:cat, :subcat, :name, :content)");
    q_.Params(0).setAsInteger(cat);
    q_.Params(1).setAsInteger(subcat);
    q_.Params(2).setAsString(page.title);
    q_.Params(3).setAsString(page.body);
    q_.ExecQuery();
    q_.Close();
    // The trigger numbers the article from the generator; the program is
    // the database's one user, so its current value is this article's.
    q_.setSQL("select gen_id(GEN_HINTS_ID, 0) from RDB$DATABASE");
    q_.ExecQuery();
    report_.ids.push_back(q_.Fields(0).AsInteger());
    q_.Close();
    report_.imported.push_back({source, page.title, {}});
}

void CommitImport(fb::Query& upd, fb::Transaction& updTrans, const ImportReport& report) {
    data::commit(upd, updTrans);
    if (!report.ids.empty())
        data::ArticlesChanged::notify(
            {&updTrans.database(), data::ArticlesChange::Kind::Added, report.ids});
}

void RollbackImport(fb::Query& upd, fb::Transaction& updTrans) {
    upd.Close();
    if (updTrans.Active())
        updTrans.Rollback();
    updTrans.setActive(true);
}

bool RunImport(fb::Query& upd, fb::Transaction& updTrans, Importer& importer,
               const std::function<bool(int done, int total)>& progress) {
    try {
        while (!importer.finished()) {
            if (progress && !progress(importer.done(), importer.total())) {
                RollbackImport(upd, updTrans);
                return false;
            }
            importer.step();
        }
    } catch (...) {
        try {
            RollbackImport(upd, updTrans);
        } catch (...) {
        }
        throw;
    }
    CommitImport(upd, updTrans, importer.report());
    return true;
}

struct StandaloneDatabase::Parts {
    fb::Database db;
    fb::Transaction updTrans{db};
    fb::Query upd{db, updTrans};
};

StandaloneDatabase::StandaloneDatabase(const std::string& path)
    : parts_(std::make_unique<Parts>()) {
    data::configure(parts_->db, path);
    parts_->db.Open();
    parts_->updTrans.TRParams = data::TransactionParams();
    parts_->updTrans.setActive(true);
}

StandaloneDatabase::~StandaloneDatabase() {
    try {
        parts_->upd.Close();
        parts_->db.Close(); // what was not committed is rolled back
    } catch (...) {
    }
}

fb::Query& StandaloneDatabase::upd() {
    return parts_->upd;
}

fb::Transaction& StandaloneDatabase::updTrans() {
    return parts_->updTrans;
}

ImportTarget TargetByName(fb::Query& q, const std::string& category,
                          const std::string& subcategory) {
    ImportTarget t;
    const auto cat = FindCategory(q, category);
    t.cat = cat ? *cat : CreateCategory(q, category);
    const auto sub = FindSubcategory(q, t.cat, subcategory);
    t.subcat = sub ? *sub : CreateSubcategory(q, t.cat, subcategory);
    return t;
}

} // namespace authoring

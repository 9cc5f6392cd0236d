// SPDX-License-Identifier: GPL-3.0-or-later
// A mailed tip as the submission window sends it: the subject
// "Delphi-Hint: NAME", a text part whose first lines are "Category=..." and
// "SubCategory=...", then an empty line or two and the tip's text, and
// perhaps one attached file. The MIME structure is GMime's to read; what
// the transport made of the text (quoted-printable, base64, another
// charset) is undone here.

#include "Publish.h"
#include "components/text/Cp1251.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace server {
namespace {

// The longest name the tables hold (VARCHAR(250)).
constexpr size_t kMaxName = 250;
// A text attachment larger than this is not put into the article.
constexpr size_t kMaxAttachedText = size_t{1} << 20;

void initGMime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

template <typename T> struct Unref {
    void operator()(T* p) const { g_object_unref(p); }
};
template <typename T> using Ref = std::unique_ptr<T, Unref<T>>;

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string trimmed(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool validUtf8(const std::string& s) {
    return g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr) != FALSE;
}

bool ascii(const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// UTF-8 as Windows-1251; a character the code page lacks becomes an HTML
// numeric reference, so that nothing is lost in the article's text.
std::string cp1251WithReferences(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    const char* p = utf8.data();
    const char* end = p + utf8.size();
    while (p < end) {
        if (static_cast<unsigned char>(*p) < 0x80) {
            out += *p++;
            continue;
        }
        const char* next = g_utf8_next_char(p);
        try {
            out += text::utf8ToCp1251(std::string_view(p, static_cast<size_t>(next - p)), true);
        } catch (const text::ConversionError&) {
            out += "&#" + std::to_string(g_utf8_get_char(p)) + ";";
        }
        p = next;
    }
    return out;
}

bool isCp1251Label(const std::string& charset) {
    static const char* const labels[] = {"windows-1251", "cp1251",  "x-cp1251",
                                         "win-1251",     "cp-1251", "windows1251"};
    return std::any_of(std::begin(labels), std::end(labels),
                       [&](const char* l) { return charset == l; });
}

// Bytes in the declared charset as Windows-1251. Without a declaration (or
// with US-ASCII, which 8-bit text sometimes wrongly claims), valid UTF-8 is
// taken as UTF-8 and anything else as Windows-1251.
std::string textAsCp1251(const std::string& bytes, const std::string& declared,
                         const std::string& what) {
    const std::string charset = lower(trimmed(declared));
    if (isCp1251Label(charset))
        return bytes;
    const std::string bom = "\xEF\xBB\xBF";
    if ((charset.empty() || charset == "utf-8" || charset == "utf8") &&
        bytes.compare(0, bom.size(), bom) == 0)
        return textAsCp1251(bytes.substr(bom.size()), "utf-8", what);
    if (charset.empty() || charset == "us-ascii" || charset == "ascii") {
        if (ascii(bytes) || !validUtf8(bytes))
            return bytes;
        return cp1251WithReferences(bytes);
    }
    if (charset == "utf-8" || charset == "utf8") {
        if (!validUtf8(bytes))
            throw SourceError(what + " is declared UTF-8 but is not valid UTF-8");
        return cp1251WithReferences(bytes);
    }
    GError* error = nullptr;
    gsize written = 0;
    char* utf8 = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                           g_mime_charset_iconv_name(charset.c_str()), nullptr, &written, &error);
    if (!utf8) {
        const std::string why = error ? error->message : "unknown charset";
        if (error)
            g_error_free(error);
        throw SourceError(what + " cannot be read in its charset " + charset + ": " + why);
    }
    std::string out(utf8, written);
    g_free(utf8);
    return cp1251WithReferences(out);
}

// The part's content with its transfer encoding undone.
std::string decodedContent(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content)
        return {};
    Ref<GMimeStream> out(g_mime_stream_mem_new());
    if (g_mime_data_wrapper_write_to_stream(content, out.get()) < 0)
        throw SourceError("a part of the message cannot be decoded");
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return {reinterpret_cast<const char*>(bytes->data), bytes->len};
}

// The lines of a text: a line ends at CR LF, a lone CR or a lone LF; a
// break at the very end opens no further line.
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to; ++i) {
        if (i > from)
            out += "\r\n";
        out += lines[i];
    }
    return out;
}

std::string escaped(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

// Whether bytes read as text: no control characters but tab, line breaks,
// form feed and the old end-of-file mark.
bool looksLikeText(const std::string& bytes) {
    return std::none_of(bytes.begin(), bytes.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1A;
    });
}

struct Leaves {
    GMimePart* text = nullptr;
    std::vector<GMimePart*> files;
};

void collect(GMimeObject* object, Leaves& out) {
    if (GMIME_IS_MULTIPART(object)) {
        auto* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            collect(g_mime_multipart_get_part(multipart, i), out);
        return;
    }
    if (!GMIME_IS_PART(object))
        return; // a message inside the message is not part of the tip
    auto* part = GMIME_PART(object);
    const bool file = g_mime_part_is_attachment(part) || g_mime_part_get_filename(part);
    if (!file && !out.text &&
        g_mime_content_type_is_type(g_mime_object_get_content_type(object), "text", "plain"))
        out.text = part;
    else if (file)
        out.files.push_back(part);
    // Other unnamed parts (the HTML twin of a mail client's text) add
    // nothing the text part does not hold.
}

std::string checkedName(const std::string& name, const char* what) {
    if (name.size() > kMaxName)
        throw SourceError(std::string(what) + " is longer than " + std::to_string(kMaxName) +
                          " characters");
    return name;
}

} // namespace

Submitted readMailedTip(const std::string& message, const std::string& source) {
    initGMime();
    Submitted tip;
    tip.source = source;

    Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(message.data(), message.size()));
    Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GMimeParserOptions* options = g_mime_parser_options_new();
    // Header text in raw 8-bit, as some transports leave it.
    const char* fallback[] = {"UTF-8", "windows-1251", nullptr};
    g_mime_parser_options_set_fallback_charsets(options, fallback);
    Ref<GMimeMessage> mail(g_mime_parser_construct_message(parser.get(), options));
    g_mime_parser_options_free(options);
    if (!mail ||
        g_mime_header_list_get_count(g_mime_object_get_header_list(GMIME_OBJECT(mail.get()))) == 0)
        throw SourceError("not a mail message");

    const char* subjectText = g_mime_message_get_subject(mail.get());
    const std::string subject = trimmed(subjectText ? subjectText : "");
    const std::string prefix = "delphi-hint:";
    if (lower(subject.substr(0, prefix.size())) != prefix)
        throw SourceError("not a mailed tip: the subject does not begin with \"Delphi-Hint:\"");
    tip.name =
        checkedName(cp1251WithReferences(trimmed(subject.substr(prefix.size()))), "the tip's name");
    if (tip.name.empty())
        throw SourceError("the tip has no name after \"Delphi-Hint:\"");

    Leaves leaves;
    if (GMimeObject* body = g_mime_message_get_mime_part(mail.get()))
        collect(body, leaves);
    if (!leaves.text)
        throw SourceError("the message has no text part");
    const std::string raw = decodedContent(leaves.text);
    if (raw.find('\0') != std::string::npos)
        throw SourceError("the message's text holds a NUL byte");
    const char* charset = g_mime_content_type_get_parameter(
        g_mime_object_get_content_type(GMIME_OBJECT(leaves.text)), "charset");
    const std::vector<std::string> lines =
        splitLines(textAsCp1251(raw, charset ? charset : "", "the message's text"));

    // The header lines, up to the first empty one.
    size_t i = 0;
    std::optional<std::string> category, subcategory;
    for (; i < lines.size() && !trimmed(lines[i]).empty(); ++i) {
        const size_t eq = lines[i].find('=');
        const std::string key = lower(trimmed(lines[i].substr(0, eq)));
        if (eq == std::string::npos || (key != "category" && key != "subcategory"))
            break;
        (key == "category" ? category : subcategory) = trimmed(lines[i].substr(eq + 1));
    }
    if (!category || category->empty())
        throw SourceError("the text has no \"Category=\" line naming the category");
    if (!subcategory || subcategory->empty())
        throw SourceError("the text has no \"SubCategory=\" line naming the subcategory");
    tip.category = checkedName(*category, "the category's name");
    tip.subcategory = checkedName(*subcategory, "the subcategory's name");

    while (i < lines.size() && trimmed(lines[i]).empty())
        ++i;
    size_t end = lines.size();
    while (end > i && trimmed(lines[end - 1]).empty())
        --end;
    tip.text = joined(lines, i, end);

    for (GMimePart* file : leaves.files) {
        const char* nameText = g_mime_part_get_filename(file);
        const std::string name = nameText ? nameText : "";
        const std::string shown = name.empty() ? "(no name)" : name;
        const std::string bytes = decodedContent(file);
        if (!looksLikeText(bytes)) {
            tip.notes.push_back("attachment \"" + shown + "\" (" + std::to_string(bytes.size()) +
                                " bytes) is not text and is left out");
            continue;
        }
        if (bytes.size() > kMaxAttachedText) {
            tip.notes.push_back("attachment \"" + shown +
                                "\" is larger than 1 MiB and is left out");
            continue;
        }
        const char* declared = g_mime_content_type_get_parameter(
            g_mime_object_get_content_type(GMIME_OBJECT(file)), "charset");
        const std::string content =
            textAsCp1251(bytes, declared ? declared : "", "attachment \"" + shown + "\"");
        const std::vector<std::string> fileLines = splitLines(escaped(content));
        if (!tip.text.empty())
            tip.text += "\r\n";
        tip.text += "<p><b>" + escaped(cp1251WithReferences(name)) + "</b></p>\r\n<pre>" +
                    joined(fileLines, 0, fileLines.size()) + "</pre>";
    }
    if (tip.text.empty())
        throw SourceError("the tip has no text");
    return tip;
}

} // namespace server

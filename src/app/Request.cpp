// SPDX-License-Identifier: GPL-3.0-or-later

#include "Request.h"

#include "components/text/Cp1251.h"
#include "components/text/QtText.h"

#include <QStringDecoder>

#include <cctype>
#include <limits>

namespace lookup {

namespace {

const QString kScheme = QStringLiteral("tipsara:");
const QString kSearchUrl = QStringLiteral("search?q=");
const QString kArticleUrl = QStringLiteral("article/");

Parsed refused(const QString& message) {
    return {std::nullopt, message};
}

QString codePointName(char32_t c) {
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

// The words as the search takes them: blanks of any kind made single
// spaces and trimmed, in Windows-1251.
Parsed searchFor(const QString& given) {
    const QString words = given.simplified();
    if (words.isEmpty())
        return refused(QString::fromUtf8("Не указаны слова для поиска."));
    if (words.size() > MaxWords)
        return refused(QString::fromUtf8("Текст поиска длиннее %1 знаков.").arg(MaxWords));
    std::string out;
    for (const char32_t c : words.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if (c < 0x20 || c == 0x7F)
            return refused(
                QString::fromUtf8("Управляющий символ %1 в тексте поиска.").arg(codePointName(c)));
        try {
            out += text::utf8ToCp1251(one.toStdString(), true);
        } catch (const text::ConversionError&) {
            return refused(QString::fromUtf8("Символа «%1» (%2) нет в кодировке Windows-1251: "
                                             "такого слова в статьях быть не может.")
                               .arg(one, codePointName(c)));
        }
    }
    return {Search{std::move(out)}, {}};
}

Parsed articleFor(const QString& given) {
    const QString bad =
        QString::fromUtf8("Номер статьи должен быть целым положительным числом, а не «%1».");
    if (given.isEmpty() || given.size() > 10)
        return refused(bad.arg(given));
    qint64 id = 0;
    for (const QChar c : given) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return refused(bad.arg(given));
        id = id * 10 + (c.unicode() - '0');
    }
    if (id <= 0 || id > std::numeric_limits<int>::max())
        return refused(bad.arg(given));
    return {Article{static_cast<int>(id)}, {}};
}

// Percent-escapes undone; the bytes must then be UTF-8. A link carries no
// blanks, no fragment and no second parameter.
std::optional<QString> decodedQuery(const QString& encoded) {
    QByteArray bytes;
    const QByteArray raw = encoded.toUtf8();
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '%') {
            const auto hex = [&](qsizetype at) {
                return at < raw.size() && std::isxdigit(static_cast<unsigned char>(raw[at]));
            };
            if (!hex(i + 1) || !hex(i + 2))
                return std::nullopt;
            const int byte = raw.mid(i + 1, 2).toInt(nullptr, 16);
            bytes += static_cast<char>(byte);
            i += 2;
            continue;
        }
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F || c == '#' || c == '&')
            return std::nullopt;
        bytes += c;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return decoded;
}

} // namespace

bool isLookup(const QStringList& arguments) {
    if (arguments.isEmpty())
        return false;
    const QString& first = arguments.front();
    return first == QLatin1String("--search") || first == QLatin1String("--article") ||
           first.startsWith(kScheme, Qt::CaseInsensitive);
}

Parsed fromArguments(const QStringList& arguments) {
    if (!isLookup(arguments))
        return {};
    const QString& first = arguments.front();
    const qsizetype wanted = first.startsWith(kScheme, Qt::CaseInsensitive) ? 1 : 2;
    if (arguments.size() < wanted)
        return refused(first == QLatin1String("--search")
                           ? QString::fromUtf8("После --search нужны слова для поиска.")
                           : QString::fromUtf8("После --article нужен номер статьи."));
    if (arguments.size() > wanted)
        return refused(QString::fromUtf8("Лишние аргументы: %1. Слова поиска из нескольких слов "
                                         "передаются одним аргументом, в кавычках.")
                           .arg(arguments.mid(wanted).join(QLatin1Char(' '))));
    if (wanted == 1)
        return fromUrl(first);
    return first == QLatin1String("--search") ? searchFor(arguments[1]) : articleFor(arguments[1]);
}

Parsed fromUrl(const QString& url) {
    Parsed bad = refused(QString::fromUtf8("Ссылка «%1» не понята: ожидается "
                                           "tipsara:search?q=СЛОВА или tipsara:article/НОМЕР.")
                             .arg(url));
    if (!url.startsWith(kScheme, Qt::CaseInsensitive))
        return bad;
    const QString rest = url.mid(kScheme.size());
    if (rest.startsWith(kSearchUrl)) {
        const std::optional<QString> words = decodedQuery(rest.mid(kSearchUrl.size()));
        if (!words)
            return bad;
        return searchFor(*words);
    }
    if (rest.startsWith(kArticleUrl)) {
        const Parsed article = articleFor(rest.mid(kArticleUrl.size()));
        return article.request ? article : bad;
    }
    return bad;
}

QByteArray toLine(const Request& request) {
    if (const auto* search = std::get_if<Search>(&request))
        return "search " + QByteArray::fromStdString(search->words).toBase64();
    return "article " + QByteArray::number(std::get<Article>(request).id);
}

std::optional<Request> fromLine(const QByteArray& line) {
    if (line.startsWith("search ")) {
        const auto decoded =
            QByteArray::fromBase64Encoding(line.mid(7), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        const std::string words = decoded.decoded.toStdString();
        const Parsed p = searchFor(text::toQ(words));
        if (!p.request || std::get<Search>(*p.request).words != words)
            return std::nullopt;
        return p.request;
    }
    if (line.startsWith("article ")) {
        const Parsed p = articleFor(QString::fromLatin1(line.mid(8)));
        return p.request;
    }
    return std::nullopt;
}

} // namespace lookup

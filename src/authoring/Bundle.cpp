// SPDX-License-Identifier: GPL-3.0-or-later

#include "Bundle.h"

#include "components/text/Cp1251.h"

#include <stdexcept>

namespace authoring {
namespace {

std::string field(const std::string& cp1251Name) {
    if (cp1251Name.empty())
        throw std::invalid_argument(text::utf8ToCp1251("В пакете не может быть пустого названия."));
    if (cp1251Name.find_first_of("\t\r\n") != std::string::npos)
        throw std::invalid_argument(
            text::utf8ToCp1251("Название «") + cp1251Name +
            text::utf8ToCp1251(
                "» содержит табуляцию или перевод строки: в пакет его не записать."));
    return text::cp1251ToUtf8Reversible(cp1251Name);
}

} // namespace

std::vector<unzip::Member> BundleMembers(const dbbuild::Catalogue& catalogue) {
    std::string categories = "# Категории: номер<TAB>название\n";
    for (const dbbuild::Category& c : catalogue.categories)
        categories += std::to_string(c.num) + "\t" + field(c.name) + "\n";
    std::string subcategories =
        "# Подкатегории: номер категории<TAB>номер подкатегории<TAB>название\n";
    for (const dbbuild::SubCategory& s : catalogue.subcategories)
        subcategories +=
            std::to_string(s.catNum) + "\t" + std::to_string(s.num) + "\t" + field(s.name) + "\n";
    std::string articles = "# Статьи: файл<TAB>категория<TAB>подкатегория<TAB>номер на сервере "
                           "(пусто для своих статей)<TAB>заголовок\n";
    std::vector<unzip::Member> pages;
    for (const dbbuild::Article& a : catalogue.articles) {
        articles += a.file + "\t" + std::to_string(a.cat) + "\t" + std::to_string(a.subcat) + "\t" +
                    (a.servId ? std::to_string(*a.servId) : std::string()) + "\t" + field(a.title) +
                    "\n";
        pages.push_back({"articles/" + a.file, text::cp1251ToUtf8Reversible(a.body)});
    }
    std::vector<unzip::Member> out{{"categories.txt", std::move(categories)},
                                   {"subcategories.txt", std::move(subcategories)},
                                   {"articles.txt", std::move(articles)}};
    out.insert(out.end(), std::make_move_iterator(pages.begin()),
               std::make_move_iterator(pages.end()));
    return out;
}

dbbuild::Catalogue ReadBundleMembers(const std::vector<unzip::Member>& members,
                                     const std::string& label) {
    return dbbuild::readCatalogue(
        [&](const std::string& name) {
            for (const unzip::Member& m : members)
                if (m.name == name)
                    return m.data;
            throw std::runtime_error(label + ": " + name + text::utf8ToCp1251(" отсутствует"));
        },
        label, {});
}

void WriteBundle(const std::string& path, const dbbuild::Catalogue& catalogue) {
    const std::vector<unzip::Member> members = BundleMembers(catalogue);
    // Read back first, so that what cannot be read (an article filed under
    // a category that is gone) is never handed on.
    ReadBundleMembers(members, text::utf8ToCp1251(path));
    unzip::WriteArchive(path, members);
}

} // namespace authoring

// SPDX-License-Identifier: GPL-3.0-or-later
// The add window's article text, without a window.

#include "authoring/Articles.h"
#include "components/text/Strings.h"

#include <QString>

#include <gtest/gtest.h>

using text::cp;

TEST(AddText, LinesAreJoinedByCarriageReturnAndLineFeedAndNothingIsAdded) {
    const QString typed = QString::fromUtf8("<p>Первая</p>") + QChar::ParagraphSeparator + "b" +
                          QChar::LineSeparator + "c\nd\r\ne" + QChar::ParagraphSeparator +
                          QChar(0x00A0);
    EXPECT_EQ(authoring::ArticleText(typed), cp("<p>Первая</p>\r\nb\r\nc\r\nd\r\ne\r\n\xC2\xA0"));
    EXPECT_EQ(authoring::ArticleText(QString()), "");
}

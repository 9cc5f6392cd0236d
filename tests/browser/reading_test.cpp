// SPDX-License-Identifier: GPL-3.0-or-later
// The reading aids without a window: the page history, the zoom steps,
// finding a text and the tokens of Delphi code.

#include "browser/Reading.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

using namespace reading;

// Failures show the texts readably.
void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

std::vector<int> node(int a, int b = -1, int c = -1) {
    std::vector<int> n{a};
    if (b >= 0)
        n.push_back(b);
    if (c >= 0)
        n.push_back(c);
    return n;
}

// The tokens of code as (text, kind) pairs, the plain text left out, with
// the state each line ends in.
using Tokens = std::vector<std::pair<QString, Token>>;
Tokens tokens(const QString& line, CodeState& state) {
    Tokens out;
    for (const Span& s : Tokenize(line, state))
        out.emplace_back(line.mid(s.start, s.length), s.kind);
    return out;
}
Tokens tokens(const char* utf8) {
    CodeState state = CodeState::Normal;
    return tokens(QString::fromUtf8(utf8), state);
}
QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

TEST(History, GoesBackAndForwardAndANewPageDropsThePagesAhead) {
    History h;
    EXPECT_EQ(h.Current(), nullptr);
    EXPECT_EQ(h.Back(), nullptr);
    h.Visit(node(0));
    h.Visit(node(0, 1, 2));
    h.Visit(node(0, 1, 2)); // the same page again is no step
    h.Visit(node(3, 0));
    EXPECT_EQ(h.Size(), 3u);
    ASSERT_TRUE(h.CanBack());
    EXPECT_FALSE(h.CanForward());

    EXPECT_EQ(h.Back()->node, node(0, 1, 2));
    EXPECT_EQ(h.Back()->node, node(0));
    EXPECT_FALSE(h.CanBack());
    EXPECT_EQ(h.Back(), nullptr);
    EXPECT_EQ(h.Current()->node, node(0));
    EXPECT_EQ(h.Forward()->node, node(0, 1, 2));
    EXPECT_TRUE(h.CanForward());

    // A new page from the middle: what lay ahead is gone.
    h.Visit(node(5, 1, 1));
    EXPECT_FALSE(h.CanForward());
    EXPECT_EQ(h.Forward(), nullptr);
    EXPECT_EQ(h.Back()->node, node(0, 1, 2));
    EXPECT_EQ(h.Back()->node, node(0));

    // Revisiting the page just gone back to is not a new step either, and
    // keeps the way forward.
    h.Visit(node(0));
    EXPECT_TRUE(h.CanForward());
}

TEST(History, KeepsEachPagesScrollAndForgetsTheOldestBeyondItsLimit) {
    History h;
    h.Visit(node(1));
    h.SetScroll(400);
    h.Visit(node(2));
    h.SetScroll(30);
    EXPECT_EQ(h.Back()->scroll, 400);
    EXPECT_EQ(h.Forward()->scroll, 30);

    History many;
    for (int i = 0; i < int(History::kLimit) + 50; ++i)
        many.Visit(node(i));
    EXPECT_EQ(many.Size(), History::kLimit);
    const Page* oldest = nullptr;
    while (many.CanBack())
        oldest = many.Back();
    ASSERT_NE(oldest, nullptr);
    EXPECT_EQ(oldest->node, node(50));
}

TEST(Zoom, StepsStopAtTheEndsAndAStoredLevelMustBeAStep) {
    EXPECT_EQ(ZoomIn(100), 110);
    EXPECT_EQ(ZoomOut(100), 90);
    int level = 100;
    for (int i = 0; i < 30; ++i)
        level = ZoomIn(level);
    EXPECT_EQ(level, 300);
    for (int i = 0; i < 30; ++i)
        level = ZoomOut(level);
    EXPECT_EQ(level, 50);
    // From between two steps, to the nearer one in that direction.
    EXPECT_EQ(ZoomIn(112), 125);
    EXPECT_EQ(ZoomOut(112), 110);

    EXPECT_EQ(ValidZoom(125), 125);
    for (int bad : {0, -100, 37, 1000, 301})
        EXPECT_EQ(ValidZoom(bad), kNormalZoom) << bad;
}

TEST(Find, MatchesCyrillicInAnyCaseWithoutOverlaps) {
    const QString text = q("Строка, СТРОКА и подстрока; строКа.");
    const std::vector<Hit> hits = FindAll(text, q("строка"));
    ASSERT_EQ(hits.size(), 4u);
    EXPECT_EQ(text.mid(hits[0].start, hits[0].length), q("Строка"));
    EXPECT_EQ(text.mid(hits[1].start, hits[1].length), q("СТРОКА"));
    EXPECT_EQ(text.mid(hits[2].start, hits[2].length), q("строка")); // inside "подстрока"
    EXPECT_EQ(text.mid(hits[3].start, hits[3].length), q("строКа"));

    EXPECT_EQ(FindAll(q("Ёлка, ёлка и елка"), q("ЁЛКА")).size(), 2u);
    const std::vector<Hit> aa = FindAll(q("аааа"), q("АА"));
    ASSERT_EQ(aa.size(), 2u);
    EXPECT_EQ(aa[1].start, 2);
    EXPECT_TRUE(FindAll(text, QString()).empty());
    EXPECT_TRUE(FindAll(text, q("строки")).empty());
}

TEST(Find, StepsGoRoundAndStartFromAPosition) {
    EXPECT_EQ(Step(0, -1, true), -1);
    EXPECT_EQ(Step(3, -1, true), 0);
    EXPECT_EQ(Step(3, -1, false), 2);
    EXPECT_EQ(Step(3, 1, true), 2);
    EXPECT_EQ(Step(3, 2, true), 0);
    EXPECT_EQ(Step(3, 0, false), 2);
    EXPECT_EQ(Step(1, 0, true), 0);

    const std::vector<Hit> hits{{5, 2}, {10, 2}, {20, 2}};
    EXPECT_EQ(FirstFrom({}, 0), -1);
    EXPECT_EQ(FirstFrom(hits, 0), 0);
    EXPECT_EQ(FirstFrom(hits, 10), 1);
    EXPECT_EQ(FirstFrom(hits, 11), 2);
    EXPECT_EQ(FirstFrom(hits, 21), 0); // none after it: round to the first
}

TEST(DelphiCode, KeywordsStringsNumbersAndCommentsOnOneLine) {
    EXPECT_EQ(tokens("BEGIN if X.End then Y := nil; EndSome"), (Tokens{{"BEGIN", Token::Keyword},
                                                                       {"if", Token::Keyword},
                                                                       {"then", Token::Keyword},
                                                                       {"nil", Token::Keyword}}));
    EXPECT_EQ(tokens("S := 'it''s // {not} a comment' + #13#10 + #$0A;"),
              (Tokens{{"'it''s // {not} a comment'", Token::String},
                      {"#13", Token::String},
                      {"#10", Token::String},
                      {"#$0A", Token::String}}));
    EXPECT_EQ(tokens("for i := 1..10 do x := $FF + 1.5e3 + 2.5; // end of begin"),
              (Tokens{{"for", Token::Keyword},
                      {"1", Token::Number},
                      {"10", Token::Number},
                      {"do", Token::Keyword},
                      {"$FF", Token::Number},
                      {"1.5e3", Token::Number},
                      {"2.5", Token::Number},
                      {"// end of begin", Token::Comment}}));
    EXPECT_EQ(tokens("{$IFDEF WIN32} (*$R *.res*) {begin} (* end *) x"),
              (Tokens{{"{$IFDEF WIN32}", Token::Directive},
                      {"(*$R *.res*)", Token::Directive},
                      {"{begin}", Token::Comment},
                      {"(* end *)", Token::Comment}}));
    // Words with Cyrillic letters and an unclosed string end the line.
    EXPECT_EQ(tokens("ShowMessage('Привет, мир); Строка1"),
              (Tokens{{"'Привет, мир); Строка1", Token::String}}));
}

TEST(DelphiCode, CommentsAndDirectivesGoOnOverLines) {
    CodeState state = CodeState::Normal;
    EXPECT_EQ(tokens(q("x := 1; { a comment"), state),
              (Tokens{{"1", Token::Number}, {"{ a comment", Token::Comment}}));
    EXPECT_EQ(state, CodeState::BraceComment);
    EXPECT_EQ(tokens(q("  that goes on *) begin"), state),
              (Tokens{{"  that goes on *) begin", Token::Comment}}));
    EXPECT_EQ(tokens(q("  and ends } begin"), state),
              (Tokens{{"  and ends }", Token::Comment}, {"begin", Token::Keyword}}));
    EXPECT_EQ(state, CodeState::Normal);

    EXPECT_EQ(tokens(q("(* one"), state), (Tokens{{"(* one", Token::Comment}}));
    EXPECT_EQ(state, CodeState::ParenComment);
    EXPECT_EQ(tokens(q("} two *) end"), state),
              (Tokens{{"} two *)", Token::Comment}, {"end", Token::Keyword}}));
    EXPECT_EQ(state, CodeState::Normal);

    EXPECT_EQ(tokens(q("{$IFDEF"), state), (Tokens{{"{$IFDEF", Token::Directive}}));
    EXPECT_EQ(state, CodeState::BraceDirective);
    EXPECT_EQ(tokens(q(" DEBUG} var"), state),
              (Tokens{{" DEBUG}", Token::Directive}, {"var", Token::Keyword}}));
    EXPECT_EQ(state, CodeState::Normal);
}

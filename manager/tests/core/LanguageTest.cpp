// The choice of language: the command line's names, the desktop's order of preference, and the translation
// found beside the program or left out when missing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocale>

#include "manager/core/Language.h"
#include "manager/core/Texts.h"

namespace velmo::manager {
namespace {

TEST(LanguageTest, NamesAndTheDesktopsOrderOfPreference) {
    EXPECT_EQ(ParseLanguage(QStringLiteral("pl")), UiLanguage::Polish);
    EXPECT_EQ(ParseLanguage(QStringLiteral("EN")), UiLanguage::English);
    EXPECT_EQ(ParseLanguage(QStringLiteral("pl_PL.UTF-8")), UiLanguage::Polish);
    EXPECT_EQ(ParseLanguage(QStringLiteral("en-GB")), UiLanguage::English);
    EXPECT_FALSE(ParseLanguage(QStringLiteral("de")));
    EXPECT_FALSE(ParseLanguage(QString()));
    EXPECT_FALSE(ParseLanguage(QStringLiteral("plx")));

    // $LANGUAGE comes first and is read in order, skipping what is neither.
    EXPECT_EQ(DesktopLanguage(QStringLiteral("de:pl:en"), {QStringLiteral("en-US")}), UiLanguage::Polish);
    EXPECT_EQ(DesktopLanguage(QStringLiteral("en_GB:pl"), {QStringLiteral("pl-PL")}), UiLanguage::English);
    // Then the locale's languages.
    EXPECT_EQ(DesktopLanguage(QString(), {QStringLiteral("de-DE"), QStringLiteral("pl-PL")}),
              UiLanguage::Polish);
    EXPECT_EQ(DesktopLanguage(QStringLiteral("::"), {QStringLiteral("en-US")}), UiLanguage::English);
    // A desktop that prefers neither, or the C locale, gets English.
    EXPECT_EQ(DesktopLanguage(QStringLiteral("fr"), {QStringLiteral("de-DE"), QStringLiteral("C")}),
              UiLanguage::English);
}

TEST(LanguageTest, TheTranslationBesideTheProgramTurnsTextsEnglishAndBack) {
    int argc = 1;
    char name[] = "LanguageTest";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    ASSERT_TRUE(ApplyLanguage(app, UiLanguage::English));
    EXPECT_EQ(CurrentLanguage(), UiLanguage::English);
    EXPECT_EQ(ReadyText(), QStringLiteral("Ready"));
    EXPECT_EQ(QLocale().language(), QLocale::English);
    ASSERT_TRUE(ApplyLanguage(app, UiLanguage::Polish));
    EXPECT_EQ(ReadyText(), QStringLiteral("Gotowy"));
    EXPECT_EQ(CurrentLanguage(), UiLanguage::Polish);
}

}  // namespace
}  // namespace velmo::manager

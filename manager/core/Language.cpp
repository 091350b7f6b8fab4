#include "Language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <atomic>
#include <memory>

namespace velmo::manager {

namespace {

// Set on the window thread before other threads start; read by widgets on the same thread (atomic for the
// tests that switch languages while a worker runs).
std::atomic<UiLanguage> gCurrent{UiLanguage::Polish};

// The translators in use, owned here so that a later ApplyLanguage can take them off again.
std::unique_ptr<QTranslator>& AppTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}
std::unique_ptr<QTranslator>& QtTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

void Remove(std::unique_ptr<QTranslator>& translator) {
    if (translator) {
        QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
}

}  // namespace

std::optional<UiLanguage> ParseLanguage(const QString& name) {
    const QString code = name.trimmed()
                             .section(QLatin1Char('_'), 0, 0)
                             .section(QLatin1Char('-'), 0, 0)
                             .section(QLatin1Char('.'), 0, 0)
                             .toLower();
    if (code == QLatin1String("pl")) {
        return UiLanguage::Polish;
    }
    if (code == QLatin1String("en")) {
        return UiLanguage::English;
    }
    return std::nullopt;
}

UiLanguage DesktopLanguage(const QString& languageVariable, const QStringList& uiLanguages) {
    QStringList wanted = languageVariable.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    wanted += uiLanguages;
    for (const QString& entry : wanted) {
        if (const auto language = ParseLanguage(entry)) {
            return *language;
        }
    }
    return UiLanguage::English;
}

UiLanguage DesktopLanguage() {
    return DesktopLanguage(qEnvironmentVariable("LANGUAGE"), QLocale::system().uiLanguages());
}

QStringList TranslationFolders() {
    QStringList folders;
    if (QCoreApplication::instance() != nullptr) {
        folders << QCoreApplication::applicationDirPath() + QStringLiteral("/translations");
    }
    folders << QStringLiteral(VELMO_INSTALLED_TRANSLATIONS);
    return folders;
}

bool ApplyLanguage(QCoreApplication& app, UiLanguage language, QString* why) {
    Remove(AppTranslator());
    Remove(QtTranslator());
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (language == UiLanguage::English) {
        auto translator = std::make_unique<QTranslator>();
        bool loaded = false;
        for (const QString& folder : TranslationFolders()) {
            if (translator->load(QStringLiteral("velmo_en"), folder)) {
                loaded = true;
                break;
            }
        }
        if (!loaded) {
            if (why != nullptr) {
                *why = QStringLiteral("velmo_en.qm is in none of %1")
                           .arg(TranslationFolders().join(QStringLiteral(", ")));
            }
            ApplyLanguage(app, UiLanguage::Polish);
            return false;
        }
        app.installTranslator(translator.get());
        AppTranslator() = std::move(translator);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    } else {
        // Qt's own texts are English; the system's Polish catalogue (when installed) turns them Polish.
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QStringLiteral("qtbase_pl"), qtFolder)) {
            app.installTranslator(translator.get());
            QtTranslator() = std::move(translator);
        }
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    }
    gCurrent.store(language);
    return true;
}

UiLanguage CurrentLanguage() {
    return gCurrent.load();
}

}  // namespace velmo::manager

// The language of the manager's texts: Polish (the language the texts are written in) or English (from the
// translation built beside the program or installed with it). Chosen once at start, before any window exists.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QCoreApplication;

namespace velmo::manager {

enum class UiLanguage { Polish, English };

// "pl" or "en" (a region such as "en_GB" or "pl-PL" is accepted and ignored); nothing for anything else.
std::optional<UiLanguage> ParseLanguage(const QString& name);

// The desktop's choice: the first entry of $LANGUAGE (a colon-separated list), then of the locale's interface
// languages, that is Polish or English. A desktop that prefers neither gets English.
UiLanguage DesktopLanguage(const QString& languageVariable, const QStringList& uiLanguages);
// The same from this process's environment and QLocale::system().
UiLanguage DesktopLanguage();

// Where velmo_en.qm is looked for: beside the program (a build tree), then where the package installs it.
QStringList TranslationFolders();

// Installs the translators for the language on the application (Qt's own texts too, such as the standard
// buttons of a message box, where the system has them) and makes it the default locale. Returns false, and
// leaves the Polish texts, when the English translation cannot be loaded; `why` then says what was missing.
// Called on the window thread before any other thread starts; later calls replace the earlier translators.
bool ApplyLanguage(QCoreApplication& app, UiLanguage language, QString* why = nullptr);

// The language last applied (Polish until ApplyLanguage succeeds with another).
UiLanguage CurrentLanguage();

}  // namespace velmo::manager

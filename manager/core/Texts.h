// Texts of the core: one translation context for all of them, the application's caption, and the texts whose
// value decides behaviour, each computed in one place.
#pragma once

#include <QCoreApplication>
#include <QString>

namespace velmo::manager {

// The core's texts: Tr::tr("…") in code, QT_TRANSLATE_NOOP("velmo::manager::Tr", "…") for texts kept in
// variables and translated where they are shown (Tr::tr(variable)).
class Tr {
    Q_DECLARE_TR_FUNCTIONS(velmo::manager::Tr)
};

// The caption of the application's message boxes and the main window's title.
inline constexpr char kAppCaption[] = "VelmoManager";
inline QString AppCaption() {
    return QString::fromLatin1(kAppCaption);
}

// "Gotowy": the panel's text once the modem is ready; the connect button is enabled exactly while the panel
// shows it.
QString ReadyText();

}  // namespace velmo::manager

// The connection profiles pane's work: the list it shows and its five buttons. The flow runs on the
// screen-flow thread, since the profile store reaches the library through the wrapper, which may wait behind
// the worker's modem call; it asks the user through the prompt.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "ModemSession.h"
#include "Profiles.h"
#include "UserPrompt.h"

namespace velmo::manager {

// One line of the profile list.
struct ProfileRow {
    QString name;
    QString number;
    bool active = false;  // the default profile
    bool operator==(const ProfileRow&) const = default;
};

// What "Profil domyślny" did.
struct PresetOutcome {
    bool restored = false;        // false when there was no device to do it for
    bool reloadSettings = false;  // the preset was made: the main window reads its settings again
};

class CProfilesFlow {
  public:
    CProfilesFlow(const ModemSession& session, IUserPrompt& prompt, CProfiles& profiles)
        : session_(session), prompt_(prompt), profiles_(profiles) {}

    // Every stored profile with its number, the default one marked.
    std::vector<ProfileRow> Rows();

    // "Dodaj": the profile dialog, then a new profile and its phonebook entry.
    void OnAdd();
    // "Usuń.": the profile and its phonebook entry, without asking.
    void OnDelete(const QString& name);
    // "Edytuj": the profile dialog on the stored profile, then the profile rewritten or renamed.
    void OnEdit(const QString& name);
    // "Aktywuj": each name becomes the default in turn.
    void OnActivate(const QStringList& names);
    // "Profil domyślny": the preset profile made again and the port options back to automatic search.
    PresetOutcome OnPresetProfile();

  private:
    void Message(const QString& text, const QString& caption);

    ModemSession session_;
    IUserPrompt& prompt_;
    CProfiles& profiles_;
};

}  // namespace velmo::manager

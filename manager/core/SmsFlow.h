// What the short-message pane and its dialogs do with the modem: a box read into the list, a message opened
// and marked read, copied to the saved box, composed and sent or stored, forwarded, answered and deleted.
// Flows: they run on the screen-flow thread, take the pane's state and give back the next one, and ask the
// user through the prompt. Every request is tried once more after 200 ms; the requests of one action are 200
// ms apart. The worker keeps polling meanwhile: the wrapper's call lock keeps the requests apart.
#pragma once

#include <atomic>
#include <functional>
#include <optional>

#include "ModemSession.h"
#include "SmsModel.h"
#include "UserPrompt.h"

namespace velmo::manager {

// Between the requests of one action.
inline constexpr uint32_t kSmsRequestGapMs = 200;

class CSmsFlow {
  public:
    CSmsFlow(const ModemSession& session, IUserPrompt& prompt) : session_(session), prompt_(prompt) {}

    // Messages read so far and the box's count, called on the flow thread after each read.
    using Progress = std::function<void(int read, int count)>;

    // A box button: the box counted and read into the list, one message after another. A set stop flag ends
    // the reading after the current request; the rows read so far stay.
    smspane::SmsPaneState OnShowBox(const smspane::SmsPaneState& state, sms::Box box,
                                    const Progress& progress = {}, const std::atomic<bool>* stop = nullptr);
    // The viewer of row has closed: an unread in-box message is marked read, and the in-box shown again.
    smspane::SmsPaneState OnViewerClosed(const smspane::SmsPaneState& state, int row,
                                         const Progress& progress = {},
                                         const std::atomic<bool>* stop = nullptr);
    // "SAVE" in the viewer opened on the in-box message at position.
    void OnCopyToSaved(int position);

    enum class Compose { New, Forward, Reply };
    // The compose dialog's first fields, with the modem's own number; nothing when Forward or Reply have no
    // row.
    std::optional<smspane::ComposeFields> OnOpenCompose(const smspane::SmsPaneState& state, Compose kind,
                                                        int row);
    // The compose dialog's three actions; each says how it went. True when it did what was asked.
    bool OnSend(const smspane::ComposeFields& fields);
    bool OnSendSave(const smspane::ComposeFields& fields);
    bool OnSave(const smspane::ComposeFields& fields);

    // "Delete" on row, and "Delete All" after its question.
    smspane::SmsPaneState OnDelete(const smspane::SmsPaneState& state, int row, const Progress& progress = {},
                                   const std::atomic<bool>* stop = nullptr);
    smspane::SmsPaneState OnDeleteAll(const smspane::SmsPaneState& state);

  private:
    std::optional<uint8_t> Count(sms::Box box);
    std::optional<sms::Message> Read(sms::Box box, int position);
    std::optional<uint8_t> Store(sms::StoreOp op, uint8_t boxCode, const sms::Message& m);
    bool Delete(sms::Box box, uint8_t slot);
    // The count before a store into box: false (and the message said) when it failed or the box is full.
    bool RoomIn(sms::Box box, const char* fullText);
    QString OwnNumber();
    void Show(const smspane::Notice& notice);

    ModemSession session_;
    IUserPrompt& prompt_;
};

}  // namespace velmo::manager

#include "SmsFlow.h"

#include <QLoggingCategory>
#include <algorithm>

#include "Texts.h"

namespace velmo::manager {

Q_LOGGING_CATEGORY(lcSms, "velmo.manager.sms", QtWarningMsg)

using namespace smspane;
using sms::Box;
using sms::StoreOp;

namespace {

bool InRange(const SmsPaneState& state, int row) {
    return row >= 0 && static_cast<size_t>(row) < state.rows.size();
}

bool Stopped(const std::atomic<bool>* stop) {
    return stop != nullptr && stop->load();
}

}  // namespace

std::optional<uint8_t> CSmsFlow::Count(Box box) {
    std::optional<uint8_t> count;
    session_.RetryOnce([&] {
        count = session_.Wrapper().SmsCount(box);
        return count.has_value();
    });
    return count;
}

std::optional<sms::Message> CSmsFlow::Read(Box box, int position) {
    std::optional<sms::Message> m;
    session_.RetryOnce([&] {
        m = session_.Wrapper().SmsRead(box, static_cast<uint8_t>(position));
        return m.has_value();
    });
    return m;
}

std::optional<uint8_t> CSmsFlow::Store(StoreOp op, uint8_t boxCode, const sms::Message& message) {
    std::optional<uint8_t> status;
    session_.RetryOnce([&] {
        status = session_.Wrapper().SmsStore(op, boxCode, message);
        return status.has_value();
    });
    return status;
}

bool CSmsFlow::Delete(Box box, uint8_t slot) {
    return session_.RetryOnce([&] { return session_.Wrapper().SmsDelete(box, slot); });
}

void CSmsFlow::Show(const Notice& notice) {
    prompt_.Message(notice.text, AppCaption(), notice.icon, PromptButtons::Ok);
}

QString CSmsFlow::OwnNumber() {
    const std::optional<std::string> number = session_.Wrapper().ReadDirectoryNumber();
    return number ? QString::fromLatin1(number->data(), static_cast<qsizetype>(number->size())) : QString();
}

bool CSmsFlow::RoomIn(Box box, const char* fullText) {
    const std::optional<uint8_t> count = Count(box);
    if (!count) {
        Show(Failure(kCountError));
        return false;
    }
    if (*count >= sms::Info(box).capacity) {
        Show(Failure(fullText));
        return false;
    }
    session_.Wait(kSmsRequestGapMs);
    return true;
}

SmsPaneState CSmsFlow::OnShowBox(const SmsPaneState& state, Box box, const Progress& progress,
                                 const std::atomic<bool>* stop) {
    SmsPaneState s = state;
    s.previous = s.box;
    s.box = box;
    s.loaded = true;
    s.statusColumn = box == Box::InBox;
    s.rowButtonsEnabled = false;
    s.rows.clear();
    s.count = 0;

    const std::optional<uint8_t> count = Count(box);
    if (!count) {
        Show(Failure(kReadError));
        return s;
    }
    session_.Wait(kSmsRequestGapMs);
    s.count = *count;
    const int listed = std::min<int>(*count, kMaxRows);
    if (progress) {
        progress(0, listed);
    }
    for (int position = 0; position < listed; ++position) {
        if (Stopped(stop) || session_.Closing()) {
            qCDebug(lcSms) << "box load stopped after" << position << "of" << listed;
            return s;
        }
        if (position > 0) {
            session_.Wait(kSmsRequestGapMs);
        }
        const std::optional<sms::Message> m = Read(box, position);
        if (!m) {
            Show(Failure(kReadError));
            return s;
        }
        const QString time = QString::fromStdString(session_.Wrapper().FormatTimeStamp(m->timeStamp));
        s.rows.push_back(MakeRow(position, *m, time, box == Box::InBox));
        if (progress) {
            progress(position + 1, listed);
        }
    }
    if (*count > kMaxRows) {
        prompt_.Message(TruncatedText(*count), AppCaption(), PromptIcon::Information, PromptButtons::Ok);
    }
    return s;
}

SmsPaneState CSmsFlow::OnViewerClosed(const SmsPaneState& state, int row, const Progress& progress,
                                      const std::atomic<bool>* stop) {
    if (!InRange(state, row) || state.box != Box::InBox || state.rows[row].readStatus != sms::kNotRead) {
        return state;
    }
    // Failures here are silent: the message simply stays unread.
    const QString own = OwnNumber();
    std::optional<sms::Message> m = Read(Box::InBox, state.rows[row].position);
    if (!m) {
        return state;
    }
    session_.Wait(kSmsRequestGapMs);
    if (!own.isEmpty()) {
        m->ownNumber = own.toStdString();
    }
    m->readStatus = sms::kRead;
    if (!Store(StoreOp::Rewrite, sms::Info(Box::InBox).boxCode, *m)) {
        return state;
    }
    session_.Wait(kSmsRequestGapMs);
    return OnShowBox(state, Box::InBox, progress, stop);
}

void CSmsFlow::OnCopyToSaved(int position) {
    const std::optional<uint8_t> count = Count(Box::SavedBox);
    if (!count) {
        Show(Failure(kCountError));
        return;
    }
    if (*count >= sms::Info(Box::SavedBox).capacity) {
        Show(Failure(kSavedFull));
        return;
    }
    session_.Wait(kSmsRequestGapMs);
    const QString own = OwnNumber();
    std::optional<sms::Message> m = Read(Box::InBox, position);
    if (!m) {
        Show(Failure(kCopyError));
        return;
    }
    session_.Wait(kSmsRequestGapMs);
    m->slot = 0;
    m->ownNumber = own.toStdString();
    m->readStatus = sms::kRead;
    const std::optional<uint8_t> status = Store(StoreOp::SavedCopy, sms::Info(Box::SavedBox).boxCode, *m);
    if (status && sms::StoreSucceeded(StoreOp::SavedCopy, *status)) {
        Show(Success(kCopied));
    } else {
        Show(Failure(kCopyError));
    }
}

std::optional<ComposeFields> CSmsFlow::OnOpenCompose(const SmsPaneState& state, Compose kind, int row) {
    ComposeFields fields;
    if (kind != Compose::New) {
        if (!InRange(state, row)) {
            return std::nullopt;
        }
        fields = kind == Compose::Forward ? ForwardFields(state.rows[row]) : ReplyFields(state.rows[row]);
    }
    fields.ownNumber = OwnNumber();
    return fields;
}

bool CSmsFlow::OnSave(const ComposeFields& fields) {
    if (const std::optional<Notice> refusal = ComposeRefusal(fields)) {
        Show(*refusal);
        return false;
    }
    if (!RoomIn(Box::DraftBox, kDraftFull)) {
        return false;
    }
    const std::optional<uint8_t> status =
        Store(StoreOp::Draft, sms::Info(Box::DraftBox).boxCode, ComposedMessage(fields));
    const bool saved = status && sms::StoreSucceeded(StoreOp::Draft, *status);
    Show(saved ? Success(kDraftSaved) : Failure(kDraftError));
    return saved;
}

bool CSmsFlow::OnSend(const ComposeFields& fields) {
    if (const std::optional<Notice> refusal = ComposeRefusal(fields)) {
        Show(*refusal);
        return false;
    }
    const std::optional<uint8_t> status = Store(StoreOp::Send, sms::kSendBoxCode, ComposedMessage(fields));
    const bool sent = status && sms::StoreSucceeded(StoreOp::Send, *status);
    Show(sent ? Success(kSent) : Failure(kSendError));
    return sent;
}

bool CSmsFlow::OnSendSave(const ComposeFields& fields) {
    if (const std::optional<Notice> refusal = ComposeRefusal(fields)) {
        Show(*refusal);
        return false;
    }
    if (!RoomIn(Box::OutBox, kOutFull)) {
        return false;
    }
    const sms::Message m = ComposedMessage(fields);
    // The sent copy first, then the send.
    const std::optional<uint8_t> copy = Store(StoreOp::SentCopy, sms::Info(Box::OutBox).boxCode, m);
    const bool copyKept = copy && sms::StoreSucceeded(StoreOp::SentCopy, *copy);
    std::optional<uint8_t> send;
    if (copy) {
        session_.Wait(kSmsRequestGapMs);
        if (copyKept) {
            send = Store(StoreOp::Send, sms::kSendBoxCode, m);
        }
    }
    const bool done = copyKept && send && sms::StoreSucceeded(StoreOp::Send, *send);
    if (done) {
        Show(Success(kSentSaved));
    } else {
        Notice failure = Failure(kSendSaveError);
        if (copyKept) {
            failure.text += QLatin1Char('\n') + CopyKeptText();
        }
        Show(failure);
    }
    return done;
}

SmsPaneState CSmsFlow::OnDelete(const SmsPaneState& state, int row, const Progress& progress,
                                const std::atomic<bool>* stop) {
    if (!InRange(state, row)) {
        return state;
    }
    if (!Delete(state.box, state.rows[row].slot)) {
        Show(Failure(kDeleteError));
        return state;
    }
    Show(Success(kDeleted));
    session_.Wait(kSmsRequestGapMs);
    return OnShowBox(state, state.box, progress, stop);
}

SmsPaneState CSmsFlow::OnDeleteAll(const SmsPaneState& state) {
    if (prompt_.Message(Tr::tr(kDeleteAllQuestion), AppCaption(), PromptIcon::Question,
                        PromptButtons::YesNo) != PromptAnswer::Yes) {
        return state;
    }
    if (!Delete(state.box, sms::kDeleteWholeBox)) {
        Show(Failure(kDeleteError));
        return state;
    }
    Show(Success(kAllDeleted));
    SmsPaneState s = state;
    s.rows.clear();
    s.count = 0;
    s.rowButtonsEnabled = false;
    return s;
}

}  // namespace velmo::manager

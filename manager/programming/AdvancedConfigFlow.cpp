#include "AdvancedConfigFlow.h"

#include <QLoggingCategory>
#include <QStringList>

#include "backup/ParameterBackup.h"
#include "manager/core/Settings.h"
#include "manager/core/SettingsFlows.h"
#include "manager/core/Texts.h"
#include "wire/LeCursor.h"

Q_LOGGING_CATEGORY(lcAdvancedConfig, "velmo.manager.programming", QtWarningMsg)

namespace velmo::manager::programming {

namespace {

// The backup's way to the parameters: through the wrapper, under its call lock, inside the caller's pause.
class WrapperAccess : public velmo::programming::IParameterAccess {
  public:
    explicit WrapperAccess(CModemWrapper& wrapper) : wrapper_(wrapper) {}
    std::optional<std::vector<uint8_t>> Read(uint8_t code) override {
        const ParameterSize* p = FindParameter(static_cast<ParamCode>(code));
        if (p == nullptr || !wrapper_.ReadParameter(p->code, p->size)) {
            return std::nullopt;
        }
        return wrapper_.CachedParameter(p->code);
    }
    bool Write(uint8_t code, std::span<const uint8_t> value) override {
        return wrapper_.WriteParameter(static_cast<ParamCode>(code), value.size(), value.data());
    }

  private:
    CModemWrapper& wrapper_;
};

QString FromStd(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CAdvancedConfigFlow::CAdvancedConfigFlow(const ModemSession& session, std::shared_ptr<IUserPrompt> prompt,
                                         std::function<int32_t()> linkType)
    : session_(session), prompt_(std::move(prompt)), linkType_(std::move(linkType)) {}

CAdvancedConfigFlow::~CAdvancedConfigFlow() = default;

void CAdvancedConfigFlow::Say(const QString& text, PromptIcon icon) {
    prompt_->Message(text, AppCaption(), icon, PromptButtons::Ok);
}

std::optional<std::vector<uint8_t>> CAdvancedConfigFlow::Read(ParamCode code) {
    CModemWrapper& w = session_.Wrapper();
    if (!w.ReadCachedParameter(code)) {
        return std::nullopt;
    }
    return w.CachedParameter(code);
}

void CAdvancedConfigFlow::ReadRow(int index, ConfigValues& values) {
    const FieldRow& row = RowOf(index);
    FieldValue& v = values.rows[static_cast<size_t>(index)];
    const ParameterSize* size = FindParameter(row.codes[0]);
    switch (row.shown) {
        case Shown::Hex32: {
            const auto value = Read(row.codes[0]);
            v.texts[0] = value ? Hex32Of(*value) : QString();
            break;
        }
        case Shown::Min: {
            // MIN2 first; without MIN1 there is no MIN, without MIN2 the field keeps what it showed.
            const auto min2 = Read(row.codes[0]);
            const auto min1 = Read(row.codes[1]);
            if (!min1) {
                v.texts[0].clear();
            } else if (min2) {
                v.texts[0] = TextOf(*min2, FindParameter(row.codes[0])->size) +
                             TextOf(*min1, FindParameter(row.codes[1])->size);
            }
            break;
        }
        case Shown::Text: {
            const auto value = Read(row.codes[0]);
            v.texts[0] = value && size != nullptr ? TextOf(*value, size->size) : QString();
            break;
        }
        case Shown::Number: {
            const auto value = Read(row.codes[0]);
            v.texts[0] = value ? NumberOf(*value) : QString();
            break;
        }
        case Shown::Pair:
        case Shown::Channels: {
            for (int half = 0; half < row.codeCount; ++half) {
                const auto value = Read(row.codes[static_cast<size_t>(half)]);
                const std::array<QString, 2> pair = value ? PairOf(*value) : std::array<QString, 2>{};
                v.texts[static_cast<size_t>(2 * half)] = pair[0];
                v.texts[static_cast<size_t>(2 * half + 1)] = pair[1];
            }
            break;
        }
        case Shown::ModeList: {
            const auto value = Read(row.codes[0]);
            v.entry = value ? ModeEntryFor(wire::Get16(*value, 0)) : -1;
            break;
        }
        case Shown::NotRead:
            break;
    }
}

void CAdvancedConfigFlow::ReadAll(ConfigValues& values) {
    session_.Wait(kSettleMs);
    session_.Paused([&] {
        for (int row : ReadAllOrder()) {
            ReadRow(row, values);
        }
        const auto enabled = Read(ParamCode::SpcChangeEnabled);
        values.spcChangeEnabled = enabled ? CheckStateOf(*enabled) : kUndetermined;
    });
}

ConfigValues CAdvancedConfigFlow::OnOpen(const ConfigValues& shown) {
    ConfigValues values = shown;
    values.spcChangeEnabled = kUndetermined;
    if (!session_.NoModem() && !portClosed_.load()) {
        ReadAll(values);
    }
    return values;
}

ConfigValues CAdvancedConfigFlow::OnRefresh(const ConfigValues& shown) {
    ConfigValues values = shown;
    if (!portClosed_.load()) {
        ReadAll(values);
    }
    return values;
}

ConfigValues CAdvancedConfigFlow::OnRead(int index, const ConfigValues& shown) {
    ConfigValues values = shown;
    const FieldRow& row = RowOf(index);
    if (index < 0 || index >= kRowCount || !row.readActs || row.shown == Shown::NotRead ||
        portClosed_.load()) {
        return values;
    }
    session_.Paused([&] {
        session_.Wait(kSettleMs);
        if (index == kDirNumber) {
            // The number the worker read at start-up: no new request.
            values.rows[kDirNumber].texts[0] = FromStd(session_.Context().DirectoryNumber());
        } else {
            ReadRow(index, values);
        }
    });
    if (LooksUnread(row, values.rows[static_cast<size_t>(index)])) {
        Say(Tr::tr("Error on read"));
    }
    return values;
}

ConfigValues CAdvancedConfigFlow::OnReadSpcChangeEnabled(const ConfigValues& shown) {
    ConfigValues values = shown;
    if (portClosed_.load()) {
        return values;
    }
    session_.Paused([&] {
        session_.Wait(kSettleMs);
        const auto enabled = Read(ParamCode::SpcChangeEnabled);
        values.spcChangeEnabled = enabled ? CheckStateOf(*enabled) : kUndetermined;
    });
    if (values.spcChangeEnabled == kUndetermined) {
        Say(Tr::tr("Error on read"));
    }
    return values;
}

void CAdvancedConfigFlow::OnClosePort() {
    if (portHold_ != nullptr) {
        return;
    }
    portHold_ = std::make_unique<WorkerPause>(session_.Context(), session_.Clock());
    session_.Wrapper().Close();
    portClosed_.store(true);
    qCInfo(lcAdvancedConfig) << "port closed, worker held";
}

bool CAdvancedConfigFlow::Reopen() {
    CModemWrapper& w = session_.Wrapper();
    const bool opened =
        linkType_ && linkType_() == kLinkEthernet ? w.OpenEthernetLink() : w.OpenUsbPort(true);
    portClosed_.store(false);
    // Whether or not it opened, the worker goes on: when the modem is not there it searches anew.
    portHold_.reset();
    // The modem has forgotten its unlock with the port.
    session_.Context().spcCheckNeeded.store(1);
    return opened;
}

bool CAdvancedConfigFlow::OnOpenPort() {
    if (portHold_ == nullptr) {
        return false;
    }
    if (!Reopen()) {
        Say(Tr::tr("The port could not be opened again. The modem is being searched for."));
        return false;
    }
    return CSpcGateFlow(session_, *prompt_).OnAdvancedConfiguration();
}

void CAdvancedConfigFlow::OnWindowClosed() {
    if (portHold_ != nullptr) {
        Reopen();
    }
}

void CAdvancedConfigFlow::OnBackup() {
    if (portClosed_.load() || session_.NoModem()) {
        return;
    }
    WrapperAccess access(session_.Wrapper());
    std::optional<velmo::programming::Backup> backup;
    std::string error;
    session_.Paused([&] { backup = velmo::programming::ReadBackup(access, &error); });
    if (!backup) {
        Say(Tr::tr("The backup could not be made: %1").arg(FromStd(error)));
        return;
    }
    const std::string path = velmo::programming::DefaultBackupPath(*backup);
    if (!velmo::programming::SaveBackup(*backup, path, &error)) {
        Say(Tr::tr("The backup could not be saved: %1").arg(FromStd(error)));
        return;
    }
    QString text =
        Tr::tr("The parameters of the modem %1 were saved to\n%2").arg(FromStd(backup->esn), FromStd(path));
    if (!backup->unread.empty()) {
        text += QLatin1Char('\n') + Tr::tr("%n value(s) could not be read and are not in it.", nullptr,
                                           static_cast<int>(backup->unread.size()));
    }
    Say(text, backup->unread.empty() ? PromptIcon::Information : PromptIcon::Exclamation);
}

void CAdvancedConfigFlow::OnRestore() {
    if (portClosed_.load() || session_.NoModem()) {
        return;
    }
    if (session_.Context().spcCheckNeeded.load() != 0) {
        Say(Tr::tr("Unlock the modem with its SPC first."), PromptIcon::Exclamation);
        return;
    }
    QString path = FromStd(velmo::programming::BackupFolder());
    if (!prompt_->AskOpenFile(Tr::tr("Restore"), Tr::tr("Backups (*.json)"), &path)) {
        return;
    }
    std::string error;
    const auto backup = velmo::programming::LoadBackup(path.toStdString(), &error);
    if (!backup) {
        Say(Tr::tr("The backup could not be read: %1").arg(FromStd(error)));
        return;
    }
    QStringList lines;
    for (const std::string& line : velmo::programming::RestoreLines(*backup)) {
        lines << FromStd(line);
    }
    const QString question = Tr::tr("Write these values of the modem %1 back?\n\n%2")
                                 .arg(FromStd(backup->esn), lines.join(QLatin1Char('\n')));
    if (prompt_->Message(question, Tr::tr("Restore"), PromptIcon::Question, PromptButtons::OkCancel) !=
        PromptAnswer::Ok) {
        return;
    }
    WrapperAccess access(session_.Wrapper());
    velmo::programming::RestoreResult result;
    session_.Paused([&] { result = velmo::programming::RestoreBackup(access, *backup); });
    session_.Wait(kSettleMs);
    if (result.refused) {
        Say(result.modemEsn.empty()
                ? Tr::tr("The modem's ESN could not be read. Nothing was written.")
                : Tr::tr("This backup belongs to the modem %1, not to this modem (%2). Nothing was written.")
                      .arg(FromStd(backup->esn), FromStd(result.modemEsn)));
        return;
    }
    if (result.Ok()) {
        Say(Tr::tr("The backup was written back; every value reads back as saved."), PromptIcon::Information);
        return;
    }
    auto names = [&](const std::vector<uint8_t>& codes) {
        QStringList out;
        for (uint8_t code : codes) {
            QString name = QString::number(code);
            for (const velmo::programming::BackupEntry& e : backup->entries) {
                if (e.code == code) {
                    name = FromStd(e.name);
                }
            }
            out << name;
        }
        return out.join(QStringLiteral(", "));
    };
    QString text = Tr::tr("The backup was not fully written back.");
    if (!result.failed.empty()) {
        text += QLatin1Char('\n') + Tr::tr("Not written: %1").arg(names(result.failed));
    }
    if (!result.differs.empty()) {
        text += QLatin1Char('\n') + Tr::tr("Reading back differs: %1").arg(names(result.differs));
    }
    Say(text);
}

}  // namespace velmo::manager::programming

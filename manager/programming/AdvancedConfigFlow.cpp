#include "AdvancedConfigFlow.h"

#include <QDir>
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

// The status query that reads the roaming list's version.
constexpr int32_t kPrlVersionQuery = 0;

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

bool CAdvancedConfigFlow::BackupFirst() {
    const uint32_t search = session_.Context().deviceSearches.load();
    if (backedUpSearch_ == search) {
        return true;
    }
    WrapperAccess access(session_.Wrapper());
    std::optional<velmo::programming::Backup> backup;
    std::string error;
    session_.Paused([&] { backup = velmo::programming::ReadBackup(access, &error); });
    const std::string path = backup ? velmo::programming::DefaultBackupPath(*backup) : std::string();
    if (!backup || !velmo::programming::SaveBackup(*backup, path, &error)) {
        Say(Tr::tr("Nothing was written: the modem's parameters could not be saved first (%1).")
                .arg(FromStd(error)));
        return false;
    }
    backedUpSearch_ = search;
    Say(Tr::tr("Before the first change, the modem's parameters were saved to\n%1").arg(FromStd(path)),
        PromptIcon::Information);
    return true;
}

int CAdvancedConfigFlow::Write(const std::vector<ParameterWrite>& writes) {
    int failed = -1;
    session_.Paused([&] {
        for (size_t i = 0; i < writes.size(); ++i) {
            const ParameterWrite& w = writes[i];
            if (!session_.Wrapper().WriteParameter(w.code, w.value.size(), w.value.data())) {
                failed = static_cast<int>(i);
                return;
            }
        }
    });
    return failed;
}

bool CAdvancedConfigFlow::WritesAllowed() const {
    return !portClosed_.load() && !session_.NoModem() && session_.Context().spcCheckNeeded.load() == 0;
}

ConfigValues CAdvancedConfigFlow::OnWrite(int index, const ConfigValues& shown) {
    if (index < 0 || index >= kRowCount || !WritesAllowed()) {
        return shown;
    }
    const WritePlan plan = PlanWrite(index, shown.rows[static_cast<size_t>(index)]);
    if (plan.nothing) {
        return shown;
    }
    if (!plan.refusal.isEmpty()) {
        Say(plan.refusal);
        return shown;
    }
    if (!BackupFirst()) {
        return shown;
    }
    const int failed = Write(plan.writes);
    if (failed >= 0) {
        Say(WriteFailedText(index, static_cast<size_t>(failed)));
        return shown;
    }
    if (index == kDirNumber) {
        // "R" shows the number kept from start-up: now the one just written.
        const std::string number = shown.rows[kDirNumber].texts[0].toStdString();
        session_.Context().SetDeviceTexts(&number, nullptr);
    }
    session_.Wait(kSettleMs);
    return shown;
}

ConfigValues CAdvancedConfigFlow::OnSetSpcChangeEnabled(const ConfigValues& shown) {
    ConfigValues values = shown;
    if (!WritesAllowed() || shown.spcChangeEnabled == kUndetermined) {
        return values;
    }
    if (!BackupFirst()) {
        return values;
    }
    const uint8_t state = static_cast<uint8_t>(shown.spcChangeEnabled);
    if (Write({{ParamCode::SpcChangeEnabled, {state}}}) < 0) {
        session_.Wait(kSettleMs);
        return values;
    }
    session_.Paused([&] {
        const auto now = Read(ParamCode::SpcChangeEnabled);
        values.spcChangeEnabled = now ? CheckStateOf(*now) : kUnchecked;
    });
    Say(Tr::tr("SPC Change Enabled status set failed!"));
    return values;
}

void CAdvancedConfigFlow::OnWriteAKey(const QString& akey) {
    if (!WritesAllowed()) {
        return;
    }
    const WritePlan plan = PlanAKeyWrite(akey);
    if (plan.nothing) {
        return;
    }
    if (!plan.refusal.isEmpty()) {
        Say(plan.refusal);
        return;
    }
    if (!BackupFirst()) {
        return;
    }
    if (Write(plan.writes) >= 0) {
        Say(WriteFailedText(-1, 0));
        return;
    }
    session_.Wait(kSettleMs);
}

void CAdvancedConfigFlow::OnUnlock(const QString& spc) {
    if (portClosed_.load() || session_.NoModem()) {
        return;
    }
    if (const auto refusal = SpcRefusal(spc)) {
        Say(*refusal, PromptIcon::Exclamation);
        return;
    }
    bool accepted = false;
    session_.Paused([&] { accepted = session_.Wrapper().VerifySpc(spc.toStdString()); });
    if (!accepted) {
        Say(Tr::tr("Error while attempting unlock"));
        return;
    }
    // The modem is unlocked as the gate would have done it.
    session_.Context().spcCheckNeeded.store(0);
    session_.Wait(kSettleMs);
}

void CAdvancedConfigFlow::OnChangeSpc(const QString& spc) {
    if (!WritesAllowed()) {
        return;
    }
    if (prompt_->Message(Tr::tr("Are you sure to change SPC?"), Tr::tr("Change SPC"), PromptIcon::Question,
                         PromptButtons::OkCancel) != PromptAnswer::Ok) {
        return;
    }
    if (const auto refusal = SpcRefusal(spc)) {
        Say(*refusal, PromptIcon::Exclamation);
        return;
    }
    // The SPC cannot be backed up: a mistyped one would lock the technician out, so it is asked once more.
    QString again;
    if (!prompt_->AskSpcAgain(&again)) {
        return;
    }
    if (again != spc) {
        Say(Tr::tr("The two codes differ: the SPC was not changed."), PromptIcon::Exclamation);
        return;
    }
    if (!BackupFirst()) {
        return;
    }
    bool changed = false;
    session_.Paused([&] { changed = session_.Wrapper().ChangeSpc(spc.toStdString()); });
    if (!changed) {
        Say(Tr::tr("Error while attempting to change SPC"));
        return;
    }
    session_.Wait(kSettleMs);
}

std::optional<QString> CAdvancedConfigFlow::OnPrlFile() {
    QString path = QDir::currentPath();
    if (!prompt_->AskOpenFile(Tr::tr("PRL File"), Tr::tr("Prl Files (*.prl);;All Files (*.*)"), &path)) {
        return std::nullopt;
    }
    return path;
}

std::optional<uint16_t> CAdvancedConfigFlow::OnPrlDownload(const QString& path,
                                                           const std::function<void(int, int)>& progress) {
    if (!WritesAllowed()) {
        return std::nullopt;
    }
    const PrlFile file = LoadPrlFile(path);
    if (!file.refusal.isEmpty()) {
        Say(file.refusal, PromptIcon::None);
        return std::nullopt;
    }
    if (!BackupFirst()) {
        return std::nullopt;
    }
    bool done = false;
    std::optional<uint16_t> version;
    DeviceContext& c = session_.Context();
    c.prlDownloading.store(true);
    session_.Paused([&] {
        done = session_.Wrapper().DownloadPrl(file.bytes.data(), static_cast<int32_t>(file.bytes.size()),
                                              progress);
        if (done && session_.Wrapper().QueryStatus(kPrlVersionQuery)) {
            // A copy first: the record is packed, and a reference to its field would be misaligned.
            const uint16_t read = session_.Wrapper().Status().PrlVersion;
            version = read;
        }
    });
    c.prlDownloading.store(false);
    if (!done) {
        Say(Tr::tr("PRL Download  failed!"));
        return std::nullopt;
    }
    Say(Tr::tr("PRL Download completed! Please power off!"), PromptIcon::None);
    return version;
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

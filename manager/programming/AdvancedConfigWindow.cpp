#include "AdvancedConfigWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/core/ScreenFlowThread.h"
#include "manager/core/Texts.h"
#include "manager/screens/QtUserPrompt.h"
#include "manager/screens/ScreenFlowHost.h"

namespace velmo::manager::programming {

namespace {

constexpr int kTickMs = 500;
// Room for five digits in the edits of numbers.
constexpr int kNumberWidth = 64;

QString Text(const char* source) {
    return Tr::tr(source);
}

}  // namespace

AdvancedConfigWindow::AdvancedConfigWindow(const ModemSession& session, CScreenFlowThread& flows,
                                           std::function<int32_t()> linkType, IUserPrompt* prompt,
                                           QWidget* parent)
    : QDialog(parent), session_(session), flows_(flows) {
    setWindowTitle(QStringLiteral(" Advanced Configuration"));
    setObjectName(QStringLiteral("AdvancedConfiguration"));
    setAccessibleName(QStringLiteral("Advanced Configuration"));
    setAttribute(Qt::WA_DeleteOnClose);
    if (prompt != nullptr) {
        prompt_ = std::shared_ptr<IUserPrompt>(prompt, [](IUserPrompt*) {});
    } else {
        prompt_ = std::make_shared<QtUserPrompt>(this, &session_.Context().closing);
    }
    flow_ = std::make_shared<CAdvancedConfigFlow>(session_, prompt_, std::move(linkType));
    host_ = new ScreenFlowHost(this, flows);

    // The parameter rows in two columns of their own: label, edits, R, W.
    auto* left = new QGridLayout;
    auto* right = new QGridLayout;
    left->setColumnStretch(1, 1);
    right->setColumnStretch(1, 1);
    const auto rows = Rows();
    const int half = kSidNidLock;
    for (int index = 0; index < kRowCount; ++index) {
        const FieldRow& row = rows[static_cast<size_t>(index)];
        const int line = index < half ? index : index - half;
        QGridLayout* grid = index < half ? left : right;
        const int column = 0;
        auto* edits = new QHBoxLayout;
        if (row.shown == Shown::ModeList) {
            modeList_ = new QComboBox(this);
            for (int entry = 0; entry < kModeEntries; ++entry) {
                modeList_->addItem(ModeEntryText(entry));
            }
            modeList_->setCurrentIndex(-1);
            modeList_->setAccessibleName(EditName(row, 0));
            controls_[row.edits[0]] = modeList_;
            edits->addWidget(modeList_);
        } else if (row.shown == Shown::Channels) {
            auto* box = new QGridLayout;
            box->addWidget(new QLabel(QStringLiteral("A"), this), 0, 1, Qt::AlignCenter);
            box->addWidget(new QLabel(QStringLiteral("B"), this), 0, 2, Qt::AlignCenter);
            box->addWidget(new QLabel(QStringLiteral("Primary"), this), 1, 0);
            box->addWidget(new QLabel(QStringLiteral("Seconadary"), this), 2, 0);
            for (int i = 0; i < 4; ++i) {
                auto* edit = new QLineEdit(this);
                edit->setAccessibleName(EditName(row, i));
                edit->setMinimumWidth(kNumberWidth);
                controls_[row.edits[static_cast<size_t>(i)]] = edit;
                box->addWidget(edit, 1 + i / 2, 1 + i % 2);
            }
            edits->addLayout(box);
        } else {
            for (int i = 0; i < EditCount(row); ++i) {
                if (row.shown == Shown::Pair) {
                    edits->addWidget(
                        new QLabel(i == 0 ? QStringLiteral("SID") : QStringLiteral("NID"), this));
                }
                auto* edit = new QLineEdit(this);
                edit->setAccessibleName(EditName(row, i));
                if (row.shown == Shown::Pair) {
                    edit->setMinimumWidth(kNumberWidth);
                }
                if (row.shown == Shown::NotRead) {
                    edit->setEchoMode(QLineEdit::Password);
                }
                if (index == kEsn) {
                    edit->setReadOnly(true);
                }
                controls_[row.edits[static_cast<size_t>(i)]] = edit;
                edits->addWidget(edit);
            }
        }
        auto* label = new QLabel(Text(row.label), this);
        grid->addWidget(label, line, column);
        grid->addLayout(edits, line, column + 1);
        QPushButton* read = AddButton(row.read, QStringLiteral("R"), ButtonName(row, false));
        QPushButton* write = AddButton(row.write, QStringLiteral("W"), ButtonName(row, true));
        read->setMaximumWidth(32);
        write->setMaximumWidth(32);
        grid->addWidget(read, line, column + 2);
        grid->addWidget(write, line, column + 3);
        if (row.readActs && row.shown != Shown::NotRead) {
            connect(read, &QPushButton::clicked, this, [this, index] {
                RunValues(
                    [index](CAdvancedConfigFlow& f, const ConfigValues& v) { return f.OnRead(index, v); });
            });
        }
    }

    // AKey, SPC, SPC Change Enabled, the roaming list.
    auto* more = new QGridLayout;
    auto addEdit = [this](int id, const QString& name, bool secret) {
        auto* edit = new QLineEdit(this);
        edit->setAccessibleName(name);
        if (secret) {
            edit->setEchoMode(QLineEdit::Password);
        }
        controls_[id] = edit;
        return edit;
    };
    more->addWidget(new QLabel(Text(QT_TRANSLATE_NOOP("velmo::manager::Tr", "AKey :")), this), 0, 0);
    more->addWidget(addEdit(kAKeyEdit, QStringLiteral("AKey"), true), 0, 1);
    more->addWidget(AddButton(kAKeyWrite, QStringLiteral("Write"), QStringLiteral("AKey Write")), 0, 2);
    more->addWidget(new QLabel(Text(QT_TRANSLATE_NOOP("velmo::manager::Tr", "SPC :")), this), 1, 0);
    more->addWidget(addEdit(kSpcEdit, QStringLiteral("SPC"), true), 1, 1);
    more->addWidget(AddButton(kUnlock, QStringLiteral("Unlock"), QStringLiteral("Unlock")), 1, 2);
    more->addWidget(AddButton(kChangeSpc, QStringLiteral("Change SPC"), QStringLiteral("Change SPC")), 1, 3);
    spcChange_ = new QCheckBox(QStringLiteral("SPC Change Enabled"), this);
    spcChange_->setTristate(true);
    spcChange_->setCheckState(Qt::PartiallyChecked);
    spcChange_->setAccessibleName(QStringLiteral("SPC Change Enabled"));
    controls_[kSpcChangeBox] = spcChange_;
    more->addWidget(spcChange_, 2, 0, 1, 2);
    QPushButton* readSpcChange =
        AddButton(kSpcChangeRead, QStringLiteral("Read"), QStringLiteral("SPC Change Enabled Read"));
    connect(readSpcChange, &QPushButton::clicked, this, [this] {
        RunValues([](CAdvancedConfigFlow& f, const ConfigValues& v) { return f.OnReadSpcChangeEnabled(v); });
    });
    more->addWidget(readSpcChange, 2, 2);
    more->addWidget(AddButton(kSpcChangeSet, QStringLiteral("Set"), QStringLiteral("SPC Change Enabled Set")),
                    2, 3);
    more->addWidget(addEdit(kPrlPathEdit, QStringLiteral("PRL file path"), false), 3, 0, 1, 2);
    more->addWidget(AddButton(kPrlFile, QStringLiteral("PRL File"), QStringLiteral("PRL File")), 3, 2);
    more->addWidget(AddButton(kPrlDownload, QStringLiteral("PRL Download"), QStringLiteral("PRL Download")),
                    3, 3);

    // The port, reading again, the backup, and leaving.
    auto* bottom = new QHBoxLayout;
    QPushButton* open = AddButton(kOpenPort, QStringLiteral("Open Port"), QStringLiteral("Open Port"));
    QPushButton* close = AddButton(kClosePort, QStringLiteral("Close Port"), QStringLiteral("Close Port"));
    QPushButton* refresh = AddButton(kRefresh, QStringLiteral("Refresh"), QStringLiteral("Refresh"));
    QPushButton* backup = AddButton(kBackup, Tr::tr("Backup…"), Tr::tr("Backup…"));
    QPushButton* restore = AddButton(kRestore, Tr::tr("Restore…"), Tr::tr("Restore…"));
    QPushButton* leave = AddButton(kClose, QStringLiteral("Close"), QStringLiteral("Close"));
    for (QPushButton* b : {open, close, refresh, backup, restore}) {
        bottom->addWidget(b);
    }
    bottom->addStretch();
    bottom->addWidget(leave);
    connect(close, &QPushButton::clicked, this,
            [this] { RunPlain([](CAdvancedConfigFlow& f) { f.OnClosePort(); }); });
    connect(open, &QPushButton::clicked, this,
            [this] { RunPlain([](CAdvancedConfigFlow& f) { f.OnOpenPort(); }); });
    connect(refresh, &QPushButton::clicked, this, [this] {
        RunValues([](CAdvancedConfigFlow& f, const ConfigValues& v) { return f.OnRefresh(v); });
    });
    connect(backup, &QPushButton::clicked, this,
            [this] { RunPlain([](CAdvancedConfigFlow& f) { f.OnBackup(); }); });
    connect(restore, &QPushButton::clicked, this,
            [this] { RunPlain([](CAdvancedConfigFlow& f) { f.OnRestore(); }); });
    connect(leave, &QPushButton::clicked, this, &QDialog::close);

    portText_ = new QLabel(this);
    portText_->setAccessibleName(Tr::tr("Port"));
    portText_->setTextFormat(Qt::PlainText);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addSpacing(16);
    columns->addLayout(right, 1);
    left->setRowStretch(half, 1);
    right->setRowStretch(kRowCount - half, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(more);
    layout->addWidget(portText_);
    layout->addLayout(bottom);

    // The writes.
    for (int index = 0; index < kRowCount; ++index) {
        if (RowOf(index).check == Check::None) {
            continue;
        }
        connect(Button(RowOf(index).write), &QPushButton::clicked, this, [this, index] {
            RunValues([index](CAdvancedConfigFlow& f, const ConfigValues& v) { return f.OnWrite(index, v); });
        });
    }
    connect(Button(kSpcChangeSet), &QPushButton::clicked, this, [this] {
        RunValues([](CAdvancedConfigFlow& f, const ConfigValues& v) { return f.OnSetSpcChangeEnabled(v); });
    });
    const auto editText = [this](int id) { return qobject_cast<QLineEdit*>(Control(id))->text(); };
    connect(Button(kAKeyWrite), &QPushButton::clicked, this, [this, editText] {
        const QString akey = editText(kAKeyEdit);
        RunPlain([akey](CAdvancedConfigFlow& f) { f.OnWriteAKey(akey); });
    });
    connect(Button(kUnlock), &QPushButton::clicked, this, [this, editText] {
        const QString spc = editText(kSpcEdit);
        RunPlain([spc](CAdvancedConfigFlow& f) { f.OnUnlock(spc); });
    });
    connect(Button(kChangeSpc), &QPushButton::clicked, this, [this, editText] {
        const QString spc = editText(kSpcEdit);
        RunPlain([spc](CAdvancedConfigFlow& f) { f.OnChangeSpc(spc); });
    });
    connect(Button(kPrlFile), &QPushButton::clicked, this, [this] {
        auto chosen = std::make_shared<std::optional<QString>>();
        const std::shared_ptr<CAdvancedConfigFlow> flow = flow_;
        host_->Run([flow, chosen] { *chosen = flow->OnPrlFile(); },
                   [this, chosen] {
                       if (*chosen) {
                           qobject_cast<QLineEdit*>(Control(kPrlPathEdit))->setText(**chosen);
                       }
                   });
    });
    connect(Button(kPrlDownload), &QPushButton::clicked, this,
            [this, editText] { DownloadPrl(editText(kPrlPathEdit)); });

    searchesShown_ = session_.Context().deviceSearches.load();
    connect(&tick_, &QTimer::timeout, this, &AdvancedConfigWindow::Tick);
    tick_.start(kTickMs);
    UpdateEnabled();
    RunValues([](CAdvancedConfigFlow& f, const ConfigValues& v) { return f.OnOpen(v); });
}

AdvancedConfigWindow::~AdvancedConfigWindow() {
    if (auto* own = dynamic_cast<QtUserPrompt*>(prompt_.get())) {
        own->Detach();
    }
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
}

QPushButton* AdvancedConfigWindow::AddButton(int id, const QString& text, const QString& name) {
    auto* button = new QPushButton(text, this);
    button->setAccessibleName(name);
    button->setAutoDefault(false);
    controls_[id] = button;
    return button;
}

void AdvancedConfigWindow::CancelQuestions() {
    if (auto* own = dynamic_cast<QtUserPrompt*>(prompt_.get())) {
        own->CancelOpen();
    }
}

QWidget* AdvancedConfigWindow::Control(int id) const {
    const auto it = controls_.find(id);
    return it != controls_.end() ? it->second : nullptr;
}

QPushButton* AdvancedConfigWindow::Button(int id) const {
    return qobject_cast<QPushButton*>(Control(id));
}

QString AdvancedConfigWindow::PortText() const {
    return portText_->text();
}

ConfigValues AdvancedConfigWindow::Values() const {
    ConfigValues values;
    for (int index = 0; index < kRowCount; ++index) {
        const FieldRow& row = RowOf(index);
        FieldValue& v = values.rows[static_cast<size_t>(index)];
        if (row.shown == Shown::ModeList) {
            v.entry = modeList_->currentIndex();
            continue;
        }
        for (int i = 0; i < EditCount(row); ++i) {
            if (auto* edit = qobject_cast<QLineEdit*>(Control(row.edits[static_cast<size_t>(i)]))) {
                v.texts[static_cast<size_t>(i)] = edit->text();
            }
        }
    }
    const Qt::CheckState state = spcChange_->checkState();
    values.spcChangeEnabled = state == Qt::Checked     ? kChecked
                              : state == Qt::Unchecked ? kUnchecked
                                                       : kUndetermined;
    return values;
}

void AdvancedConfigWindow::Render(const ConfigValues& values) {
    for (int index = 0; index < kRowCount; ++index) {
        const FieldRow& row = RowOf(index);
        const FieldValue& v = values.rows[static_cast<size_t>(index)];
        if (row.shown == Shown::ModeList) {
            modeList_->setCurrentIndex(v.entry);
            continue;
        }
        for (int i = 0; i < EditCount(row); ++i) {
            if (auto* edit = qobject_cast<QLineEdit*>(Control(row.edits[static_cast<size_t>(i)]))) {
                edit->setText(v.texts[static_cast<size_t>(i)]);
            }
        }
    }
    spcChange_->setCheckState(values.spcChangeEnabled == kChecked     ? Qt::Checked
                              : values.spcChangeEnabled == kUnchecked ? Qt::Unchecked
                                                                      : Qt::PartiallyChecked);
}

void AdvancedConfigWindow::RunValues(Action action) {
    const std::shared_ptr<CAdvancedConfigFlow> flow = flow_;
    auto values = std::make_shared<ConfigValues>(Values());
    const uint32_t searches = session_.Context().deviceSearches.load();
    host_->Run([flow, values, action] { *values = action(*flow, *values); },
               [this, values, searches] {
                   // Values of a modem that has gone meanwhile are not shown.
                   if (searches == session_.Context().deviceSearches.load()) {
                       Render(*values);
                   }
                   UpdateEnabled();
               });
}

void AdvancedConfigWindow::RunPlain(std::function<void(CAdvancedConfigFlow&)> action) {
    const std::shared_ptr<CAdvancedConfigFlow> flow = flow_;
    host_->Run([flow, action] { action(*flow); }, [this] { UpdateEnabled(); });
}

void AdvancedConfigWindow::Tick() {
    const uint32_t searches = session_.Context().deviceSearches.load();
    if (searches != searchesShown_) {
        // The worker searches for a device anew: what is shown belongs to a modem that may not come back.
        searchesShown_ = searches;
        Render(ConfigValues{});
    }
    UpdateEnabled();
}

void AdvancedConfigWindow::UpdateEnabled() {
    const bool closed = flow_->PortClosed();
    const bool modem = !session_.NoModem() && !closed;
    for (const FieldRow& row : Rows()) {
        Button(row.read)->setEnabled(modem && row.readActs && row.shown != Shown::NotRead);
    }
    Button(kSpcChangeRead)->setEnabled(modem);
    Button(kRefresh)->setEnabled(modem);
    Button(kBackup)->setEnabled(modem);
    // Writing back needs the modem unlocked by the SPC gate since it was found.
    Button(kRestore)->setEnabled(modem && session_.Context().spcCheckNeeded.load() == 0);
    const bool writes = modem && session_.Context().spcCheckNeeded.load() == 0;
    for (const FieldRow& row : Rows()) {
        Button(row.write)->setEnabled(writes && row.check != Check::None);
    }
    for (int id : {int(kAKeyWrite), int(kChangeSpc), int(kSpcChangeSet), int(kPrlFile), int(kPrlDownload)}) {
        Button(id)->setEnabled(writes);
    }
    Button(kUnlock)->setEnabled(modem);
    Button(kClosePort)->setEnabled(modem);
    Button(kOpenPort)->setEnabled(closed);
    if (closed) {
        portText_->setText(Tr::tr("The port is closed: the modem is not polled until \"Open Port\"."));
    } else if (!prlVersionShown_) {
        portText_->clear();
    }
}

void AdvancedConfigWindow::DownloadPrl(const QString& path) {
    // A download of hundreds of blocks must not be broken off: a modal progress without a cancel button.
    auto* dialog =
        new QProgressDialog(Tr::tr("Sending the roaming list to the modem…"), QString(), 0, 1, this);
    dialog->setWindowTitle(QStringLiteral("PRL Download"));
    dialog->setAccessibleName(QStringLiteral("PRL Download"));
    dialog->setCancelButton(nullptr);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    progressBar_ = new QProgressBar(dialog);
    progressBar_->setRange(0, 1);
    progressBar_->setValue(0);
    dialog->setBar(progressBar_);
    progress_ = dialog;
    progressUpdates_ = 0;
    // The flow thread only leaves the latest counts here and posts a wake-up when none is pending.
    auto box = std::make_shared<ProgressBox>();
    QPointer<AdvancedConfigWindow> self(this);
    auto report = [box, self](int sent, int total) {
        std::lock_guard lock(box->mutex);
        box->sent = sent;
        box->total = total;
        if (box->posted) {
            return;
        }
        box->posted = true;
        QMetaObject::invokeMethod(
            qApp,
            [box, self] {
                int sent = 0;
                int total = 0;
                {
                    std::lock_guard lock(box->mutex);
                    box->posted = false;
                    sent = box->sent;
                    total = box->total;
                }
                if (self != nullptr) {
                    self->ShowProgress(sent, total);
                }
            },
            Qt::QueuedConnection);
    };
    auto version = std::make_shared<std::optional<uint16_t>>();
    const std::shared_ptr<CAdvancedConfigFlow> flow = flow_;
    host_->Run([flow, path, report, version] { *version = flow->OnPrlDownload(path, report); },
               [this, version] {
                   if (progress_ != nullptr) {
                       progress_->deleteLater();
                       progress_ = nullptr;
                       progressBar_ = nullptr;
                   }
                   if (*version) {
                       portText_->setText(Tr::tr("PRL version now in the modem: %1").arg(**version));
                       prlVersionShown_ = true;
                   }
                   UpdateEnabled();
               });
    dialog->show();
}

void AdvancedConfigWindow::ShowProgress(int sent, int total) {
    if (progress_ == nullptr) {
        return;
    }
    ++progressUpdates_;
    // Through the bar: the dialog's own setValue runs the event loop of a modal dialog, where the download's
    // end could delete the dialog under it.
    progressBar_->setMaximum(std::max(total, 1));
    progressBar_->setValue(std::min(sent, std::max(total, 1)));
    progress_->setLabelText(Tr::tr("Block %1 of %2 sent").arg(sent).arg(total));
}

void AdvancedConfigWindow::closeEvent(QCloseEvent* event) {
    tick_.stop();
    // A port this window closed is opened again for the worker.
    const std::shared_ptr<CAdvancedConfigFlow> flow = flow_;
    flows_.Post([flow] { flow->OnWindowClosed(); });
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
    QDialog::closeEvent(event);
}

}  // namespace velmo::manager::programming

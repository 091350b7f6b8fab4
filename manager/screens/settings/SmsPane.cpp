#include "SmsPane.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QProgressBar>
#include <QTreeWidget>

#include "CFlatButton.h"
#include "SmsDialogs.h"
#include "manager/core/Texts.h"
#include "manager/screens/ScreenFlowHost.h"

namespace velmo::manager {

using namespace smspane;
using sms::Box;

namespace {

constexpr int kRowButtons[] = {kForward, kReply, kDelete, kDeleteAll};

QString Text(int id) {
    return Tr::tr(FindRow(PaneLayout(), id)->text);
}

}  // namespace

SmsPane::SmsPane(const PaneServices& services, CScreenFlowThread& flows, QWidget* parent)
    : SettingsPane(services, PaneLayout(), parent), flowThread_(flows), shared_(std::make_shared<Shared>()) {
    for (const sms::BoxInfo& info : sms::kBoxes) {
        const int id = ButtonOf(info.box);
        auto* button = new CFlatButton(Text(id), this);
        boxes_[static_cast<size_t>(info.box)] = button;
        buttons_[id] = button;
        AddControl(id, button);
        const Box box = info.box;
        connect(button, &CFlatButton::clicked, this, [this, box] { ShowBox(box); });
    }
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setAllColumnsShowFocus(true);
    list_->setUniformRowHeights(true);
    list_->setFrameShape(QFrame::StyledPanel);
    list_->setAccessibleName(Tr::tr("Wiadomości"));
    AddControl(kList, list_);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &SmsPane::OnSelection);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { OnOpen(); });
    connect(list_, &QTreeWidget::itemActivated, this, [this] { OnOpen(); });
    for (int id : {kSendMsg, kForward, kReply, kDelete, kDeleteAll}) {
        auto* button = new CFlatButton(Text(id), this);
        buttons_[id] = button;
        AddControl(id, button);
    }
    connect(Button(kSendMsg), &CFlatButton::clicked, this, [this] { OnCompose(CSmsFlow::Compose::New); });
    connect(Button(kForward), &CFlatButton::clicked, this, [this] { OnCompose(CSmsFlow::Compose::Forward); });
    connect(Button(kReply), &CFlatButton::clicked, this, [this] { OnCompose(CSmsFlow::Compose::Reply); });
    connect(Button(kDelete), &CFlatButton::clicked, this, &SmsPane::OnDelete);
    connect(Button(kDeleteAll), &CFlatButton::clicked, this, &SmsPane::OnDeleteAll);

    progress_ = new QProgressBar(this);
    progress_->setFormat(QStringLiteral("%v / %m"));
    progress_->setAccessibleName(Tr::tr("Odczyt skrzynki"));
    progress_->hide();
    AddControl(kProgress, progress_);
    stop_ = new CFlatButton(Text(kStopLoad), this);
    stop_->hide();
    AddControl(kStopLoad, stop_);
    services_.flows->AllowDuringFlows(stop_);
    connect(stop_, &CFlatButton::clicked, this, [this] {
        shared_->stop.store(true);
        stop_->setEnabled(false);
    });
    connect(services_.flows, &ScreenFlowHost::idle, this, &SmsPane::RefreshIfDue);
    Render(state_);
}

SmsPane::~SmsPane() {
    std::lock_guard lock(shared_->mutex);
    shared_->pane = nullptr;
}

CFlatButton* SmsPane::Button(int id) const {
    const auto it = buttons_.find(id);
    return it != buttons_.end() ? it->second : nullptr;
}

void SmsPane::OnShown() {
    if (!state_.loaded && !services_.session.NoModem()) {
        ShowBox(Box::InBox);
    }
    RefreshIfDue();
}

void SmsPane::OnMessageArrived() {
    if (state_.loaded && state_.box == Box::InBox) {
        refreshDue_ = true;
        RefreshIfDue();
    }
}

void SmsPane::RefreshIfDue() {
    if (!refreshDue_ || running_ || viewer_ != nullptr || services_.flows->Busy() || !isVisible()) {
        return;
    }
    refreshDue_ = false;
    ShowBox(Box::InBox);
}

void SmsPane::ShowBox(Box box) {
    RunAction([box](CSmsFlow& flow, const SmsPaneState& s, const CSmsFlow::Progress& progress,
                    const std::atomic<bool>* stop) { return flow.OnShowBox(s, box, progress, stop); },
              true);
}

void SmsPane::RunAction(Action action, bool showsProgress) {
    if (running_) {
        return;
    }
    running_ = true;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->pane = nullptr;
    }
    shared_ = std::make_shared<Shared>();
    shared_->pane = this;
    const std::shared_ptr<Shared> shared = shared_;
    CSmsFlow::Progress progress;
    if (showsProgress) {
        progress = [shared](int read, int count) {
            std::lock_guard lock(shared->mutex);
            shared->read = read;
            shared->count = count;
            // Only a wake-up crosses; the figures stay in the shared block.
            if (shared->pane != nullptr) {
                QMetaObject::invokeMethod(shared->pane, &SmsPane::OnProgress, Qt::QueuedConnection);
            }
        };
    }
    const ModemSession session = services_.session;
    const std::shared_ptr<IUserPrompt> prompt = services_.prompt;
    const SmsPaneState from = state_;
    auto result = std::make_shared<SmsPaneState>(from);
    const bool queued = services_.flows->Run(
        [session, prompt, from, result, action = std::move(action), progress, shared] {
            CSmsFlow flow(session, *prompt);
            *result = action(flow, from, progress, &shared->stop);
        },
        [this, result] {
            running_ = false;
            progress_->hide();
            stop_->hide();
            Render(*result);
            emit boxShown();
        });
    if (!queued) {
        running_ = false;
    }
}

void SmsPane::OnProgress() {
    int read = 0;
    int count = 0;
    {
        std::lock_guard lock(shared_->mutex);
        read = shared_->read;
        count = shared_->count;
    }
    if (!running_) {
        return;
    }
    progress_->setRange(0, std::max(count, 1));
    progress_->setValue(read);
    progress_->setAccessibleDescription(QStringLiteral("%1 / %2").arg(read).arg(count));
    if (!progress_->isVisible() && count > 0) {
        progress_->show();
        stop_->setEnabled(true);
        stop_->show();
    }
}

void SmsPane::SetColumns(bool inBox) {
    if (columnsFor_ == int(inBox)) {
        return;
    }
    columnsFor_ = int(inBox);
    const std::vector<Column> columns = Columns(inBox);
    QStringList titles;
    for (const Column& c : columns) {
        titles << QString::fromLatin1(c.title);
    }
    list_->setColumnCount(static_cast<int>(columns.size()));
    list_->setHeaderLabels(titles);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        list_->setColumnWidth(i, columns[static_cast<size_t>(i)].width);
    }
}

void SmsPane::Render(const SmsPaneState& state) {
    state_ = state;
    SetColumns(state.statusColumn);
    list_->clear();
    QList<QTreeWidgetItem*> items;
    for (const SmsRow& row : state.rows) {
        QStringList cells = {QString::number(row.position), row.type};
        if (state.statusColumn) {
            cells << row.status;
        }
        cells << row.time << row.number << row.text;
        items << new QTreeWidgetItem(cells);
    }
    list_->addTopLevelItems(items);
    // The given widths, widened where a time stamp or a status would not fit in this font.
    const std::vector<Column> columns = Columns(state.statusColumn);
    const QFontMetrics metrics(list_->font());
    constexpr int kCellMargins = 16;
    for (int i = 0; i + 1 < static_cast<int>(columns.size()); ++i) {
        int width = columns[static_cast<size_t>(i)].width;
        for (const QTreeWidgetItem* item : items) {
            width = std::max(width, metrics.horizontalAdvance(item->text(i)) + kCellMargins);
        }
        list_->setColumnWidth(i, width);
    }
    for (const sms::BoxInfo& info : sms::kBoxes) {
        boxes_[static_cast<size_t>(info.box)]->setEnabled(BoxButtonEnabled(state, info.box));
    }
    for (int id : kRowButtons) {
        Button(id)->setEnabled(state.rowButtonsEnabled);
    }
}

int SmsPane::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.front());
}

void SmsPane::OnSelection() {
    if (SelectedRow() >= 0) {
        state_.rowButtonsEnabled = true;
        for (int id : kRowButtons) {
            Button(id)->setEnabled(true);
        }
    }
}

void SmsPane::OnOpen() {
    const int row = SelectedRow();
    if (row < 0 || static_cast<size_t>(row) >= state_.rows.size() || running_ || viewer_ != nullptr) {
        return;
    }
    auto* viewer = new SmsViewerDialog(services_.session, flowThread_, state_,
                                       state_.rows[static_cast<size_t>(row)], this);
    if (dialogPrompt_) {
        viewer->SetPrompt(dialogPrompt_);
    }
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setWindowModality(Qt::WindowModal);
    viewer_ = viewer;
    connect(viewer, &QDialog::finished, this, [this, row] {
        viewer_ = nullptr;
        RunAction(
            [row](CSmsFlow& flow, const SmsPaneState& s, const CSmsFlow::Progress& progress,
                  const std::atomic<bool>* stop) { return flow.OnViewerClosed(s, row, progress, stop); },
            true);
    });
    viewer->show();
}

void SmsPane::OnCompose(CSmsFlow::Compose kind) {
    if (running_ || compose_ != nullptr) {
        return;
    }
    const ModemSession session = services_.session;
    const std::shared_ptr<IUserPrompt> prompt = services_.prompt;
    const SmsPaneState state = state_;
    const int row = SelectedRow();
    auto fields = std::make_shared<std::optional<ComposeFields>>();
    services_.flows->Run([session, prompt, state, kind, row,
                          fields] { *fields = CSmsFlow(session, *prompt).OnOpenCompose(state, kind, row); },
                         [this, fields] {
                             if (!fields->has_value() || compose_ != nullptr) {
                                 return;
                             }
                             auto* dialog =
                                 new SmsComposeDialog(services_.session, flowThread_, **fields, this);
                             if (dialogPrompt_) {
                                 dialog->SetPrompt(dialogPrompt_);
                             }
                             dialog->setAttribute(Qt::WA_DeleteOnClose);
                             dialog->setWindowModality(Qt::WindowModal);
                             compose_ = dialog;
                             dialog->show();
                         });
}

void SmsPane::OnDelete() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    RunAction([row](CSmsFlow& flow, const SmsPaneState& s, const CSmsFlow::Progress& progress,
                    const std::atomic<bool>* stop) { return flow.OnDelete(s, row, progress, stop); },
              true);
}

void SmsPane::OnDeleteAll() {
    RunAction([](CSmsFlow& flow, const SmsPaneState& s, const CSmsFlow::Progress&,
                 const std::atomic<bool>*) { return flow.OnDeleteAll(s); },
              false);
}

}  // namespace velmo::manager

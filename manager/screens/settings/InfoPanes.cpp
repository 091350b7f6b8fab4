#include "InfoPanes.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

#include "manager/core/Settings.h"
#include "manager/core/Texts.h"

namespace velmo::manager {

using namespace settings;

namespace {

constexpr int kStatusRows = 8;
constexpr int kStatusColumns = 4;
constexpr int kColumnWidths[kStatusColumns] = {120, 100, 120, 100};
constexpr int kValueIds[5] = {kEsnValue, kNumberValue, kPrlValue, kSoftwareValue, kIdentityValue};

}  // namespace

StatusPane::StatusPane(const PaneServices& services, QWidget* parent)
    : SettingsPane(services, StatusLayout(), parent) {
    table_ = new QTableWidget(kStatusRows, kStatusColumns, this);
    table_->setHorizontalHeaderLabels(
        {Tr::tr("    Parametr"), Tr::tr("   Wartość"), Tr::tr("    Parametr"), Tr::tr("   Wartość")});
    // Columns at least as wide as they were drawn for, wider where a text needs it, one line per row.
    for (int c = 0; c < kStatusColumns; ++c) {
        table_->setColumnWidth(c, kColumnWidths[c]);
    }
    table_->horizontalHeader()->setMinimumSectionSize(kColumnWidths[1]);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideNone);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionsClickable(false);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setShowGrid(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAccessibleName(TabText(kStatus).trimmed());
    for (int r = 0; r < kStatusRows; ++r) {
        for (int c = 0; c < kStatusColumns; ++c) {
            table_->setItem(r, c, new QTableWidgetItem);
        }
    }
    AddControl(kStatusTable, table_);
    Refresh();
}

StatusInputs StatusPane::Inputs() const {
    const DeviceContext& c = services_.session.Context();
    StatusInputs in;
    in.statusText = services_.statusText ? services_.statusText() : QString();
    in.connectionState = c.connectionState.load();
    in.deviceStatusCode = c.deviceStatusCode.load();
    in.linkType = services_.settings != nullptr ? services_.settings->Record().linkType.load() : kLinkNone;
    in.user = c.User();
    in.status = c.StatusCopy();
    in.phoneInUse = c.noticeShown[kNoticeC].load();
    in.incomingCall = c.noticeShown[kNoticeA].load();
    in.voiceMail = c.voiceMail.load() != 0;
    return in;
}

void StatusPane::Refresh() {
    const StatusTable t = StatusTableFor(Inputs());
    for (int r = 0; r < kStatusRows; ++r) {
        for (int c = 0; c < kStatusColumns; ++c) {
            QTableWidgetItem* item = table_->item(r, c);
            if (item->text() != t[r][c]) {
                item->setText(t[r][c]);
            }
        }
    }
}

InformationPane::InformationPane(const PaneServices& services, QWidget* parent)
    : SettingsPane(services, InformationLayout(), parent) {
    AddProductControls();
    for (const LayoutRow& row : InformationLayout()) {
        if (row.kind == ControlKind::Label && row.text != nullptr) {
            AddControl(row.id, new QLabel(Tr::tr(row.text), this));
        }
    }
    for (size_t i = 0; i < values_.size(); ++i) {
        values_[i] = new QLabel(this);
        // Texts from the modem are shown as they are, never as markup.
        values_[i]->setTextFormat(Qt::PlainText);
        values_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        AddControl(kValueIds[i], values_[i]);
    }
    // Each value is named by its label; the identity shares the software revision's.
    const int labels[5] = {kEsnLabel, kNumberLabel, kPrlLabel, kSoftwareLabel, kSoftwareLabel};
    for (size_t i = 0; i < values_.size(); ++i) {
        auto* label = qobject_cast<QLabel*>(Control(labels[i]));
        values_[i]->setAccessibleName(label->text() + (i == 4 ? tr(" (urządzenie)") : QString()));
        if (i < 4) {
            label->setBuddy(values_[i]);
        }
    }
    Refresh();
}

void InformationPane::Refresh() {
    const DeviceContext& c = services_.session.Context();
    const InformationValues v =
        InformationFor(c.connectionState.load(), c.StatusCopy(), QString::fromStdString(c.DirectoryNumber()),
                       QString::fromStdString(c.Identity()));
    const QString texts[5] = {v.esn, v.number, v.prl, v.software, v.identity};
    for (size_t i = 0; i < values_.size(); ++i) {
        if (values_[i]->text() != texts[i]) {
            values_[i]->setText(texts[i]);
        }
    }
}

QString InformationPane::Value(int id) const {
    for (size_t i = 0; i < values_.size(); ++i) {
        if (kValueIds[i] == id) {
            return values_[i]->text();
        }
    }
    return QString();
}

}  // namespace velmo::manager

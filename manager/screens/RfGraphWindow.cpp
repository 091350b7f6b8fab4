#include "RfGraphWindow.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>

#include "CColorLabel.h"
#include "CRealTimeGraph.h"
#include "ScreenFlowHost.h"
#include "manager/core/RfGraphModel.h"

namespace velmo::manager {

namespace {

constexpr int kValueFontPx = 14;
constexpr int kKeySquare = 6;

// The power series' colours: 0 Rx, 1 Tx closed, 2 Tx pilot, 3 Tx total; and each key square's series.
const QColor kPowerColours[4] = {QColor(155, 0, 0), QColor(0, 0, 255), QColor(0, 255, 0), QColor(255, 0, 0)};
int KeySeries(int id) {
    switch (id) {
        case rf::kKeyTxClosed:
            return 1;
        case rf::kKeyTxPilot:
            return 2;
        case rf::kKeyTxTotal:
            return 3;
        default:
            return 0;
    }
}

}  // namespace

RfGraphWindow::RfGraphWindow(const ModemSession& session, CScreenFlowThread& flows, QWidget* parent)
    : QDialog(parent, Qt::Tool),
      session_(session),
      sampler_([wrapper = &session.Wrapper()] { return wrapper->TryReadRf(); }, session.Clock(),
               [self = QPointer<RfGraphWindow>(this)] {
                   // The sampler's thread: only a wake-up crosses over.
                   QMetaObject::invokeMethod(
                       self.data(),
                       [self] {
                           if (self != nullptr) {
                               self->Drain();
                           }
                       },
                       Qt::QueuedConnection);
               }) {
    setWindowTitle(QStringLiteral(" EvDO RF Signal Graph"));
    setObjectName(QStringLiteral("RfSignalGraph"));
    setAccessibleName(QStringLiteral("EvDO RF Signal Graph"));
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kMinimumWidth + 140, kMinimumHeight + 100);
    host_ = new ScreenFlowHost(this, flows);

    drc_ = new CRealTimeGraph(QStringLiteral("Data Rate Control  (DRC)"), this);
    drc_->SetSeriesColour(0, QColor(255, 0, 0));
    power_ = new CRealTimeGraph(QStringLiteral("Rx and Tx Powers"), this);
    for (int s = 0; s < 4; ++s) {
        power_->SetSeriesColour(s, kPowerColours[s]);
    }
    controls_[rf::kDrcGraph] = drc_;
    controls_[rf::kPowerGraph] = power_;

    // Every other control from the layout table; a value field is named after the label above it.
    QString lastLabel;
    for (const rf::LayoutEntry& e : rf::LayoutEntries()) {
        const QString text = e.text != nullptr ? QString::fromLatin1(e.text) : QString();
        switch (e.kind) {
            case rf::Kind::Label: {
                auto* label = new QLabel(text, this);
                lastLabel = text;
                controls_[e.id] = label;
                break;
            }
            case rf::Kind::Value: {
                auto* value = new CColorLabel(QString(), this);
                value->SetBackground(Qt::white);
                value->SetFontHeight(kValueFontPx);
                value->setAccessibleName(lastLabel);
                controls_[e.id] = value;
                break;
            }
            case rf::Kind::Key: {
                QPixmap square(kKeySquare, kKeySquare);
                square.fill(kPowerColours[KeySeries(e.id)]);
                auto* key = new QLabel(this);
                key->setPixmap(square);
                key->setAccessibleName(QStringLiteral("Key"));
                controls_[e.id] = key;
                break;
            }
            case rf::Kind::Button:
                start_ = new QPushButton(text, this);
                start_->setAccessibleName(QStringLiteral("Start"));
                controls_[e.id] = start_;
                break;
            case rf::Kind::Axis: {
                auto* axis = new QLabel(text, this);
                axis->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                controls_[e.id] = axis;
                break;
            }
        }
    }
    connect(start_, &QPushButton::clicked, this, &RfGraphWindow::OnStart);
    Lay();
}

RfGraphWindow::~RfGraphWindow() {
    sampler_.Close();
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
}

QWidget* RfGraphWindow::Control(int id) const {
    const auto it = controls_.find(id);
    return it != controls_.end() ? it->second : nullptr;
}

QString RfGraphWindow::ValueText(int id) const {
    auto* label = qobject_cast<QLabel*>(Control(id));
    return label != nullptr ? label->text() : QString();
}

void RfGraphWindow::SetValue(int id, const QString& text) {
    auto* label = qobject_cast<QLabel*>(Control(id));
    if (label == nullptr || label->text() == text) {
        return;
    }
    label->setText(text);
    QAccessibleValueChangeEvent event(label, text);
    QAccessible::updateAccessibility(&event);
}

void RfGraphWindow::OnStart() {
    if (sampler_.Running()) {
        start_->setText(QStringLiteral("&Start"));
        start_->setAccessibleName(QStringLiteral("Start"));
        sampler_.SetRunning(false);
        return;
    }
    start_->setText(QStringLiteral("Stop"));
    start_->setAccessibleName(QStringLiteral("Stop"));
    if (!reportsEnabled_) {
        // Modem traffic: once, from the screen-flow thread with the worker paused, never from the sampler.
        reportsEnabled_ = true;
        const ModemSession session = session_;
        host_->Run([session] { session.Paused([&] { session.Wrapper().EnableEventReports(); }); },
                   [this] { sampler_.SetRunning(true); });
        return;
    }
    sampler_.SetRunning(true);
}

void RfGraphWindow::Drain() {
    bool plotted = false;
    for (const RfUpdate& u : sampler_.Take()) {
        if (u.snapshot) {
            const rf::RfSample s = rf::SampleOf(*u.snapshot);
            for (int series = 0; series < 4; ++series) {
                power_->Append(series, s.power[static_cast<size_t>(series)]);
            }
            drc_->Append(0, s.drc);
            SetValue(rf::kRxValue, s.powerTexts[0]);
            SetValue(rf::kTxClosedValue, s.powerTexts[1]);
            SetValue(rf::kTxPilotValue, s.powerTexts[2]);
            SetValue(rf::kTxTotalValue, s.powerTexts[3]);
            ++samples_;
            plotted = true;
        }
        if (u.activePilots) {
            if (const auto text = rf::BlockText(*u.activePilots, false)) {
                SetValue(rf::kActiveValue, *text);
            }
        }
        if (u.activeEnergies) {
            if (const auto text = rf::BlockText(*u.activeEnergies, true)) {
                SetValue(rf::kEnergyValue, *text);
            }
        }
        if (u.neighbourPilots) {
            if (const auto text = rf::BlockText(*u.neighbourPilots, false)) {
                SetValue(rf::kNeighbourValue, *text);
            }
        }
        if (u.channel) {
            SetValue(rf::kChannelValue, QString::number(*u.channel));
        }
    }
    if (plotted) {
        drc_->update();
        power_->update();
    }
}

void RfGraphWindow::Lay() {
    for (const auto& [id, rect] : rf::RfLayout(size())) {
        if (QWidget* w = Control(id)) {
            w->setGeometry(rect);
            w->setVisible(!rect.isEmpty());
        }
    }
}

void RfGraphWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Lay();
}

void RfGraphWindow::closeEvent(QCloseEvent* event) {
    sampler_.Close();
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
    QDialog::closeEvent(event);
}

}  // namespace velmo::manager

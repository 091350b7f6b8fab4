#include "SettingsPane.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QResizeEvent>

#include "manager/core/SettingsModel.h"
#include "manager/screens/SkinImages.h"

namespace velmo::manager {

SettingsPane::SettingsPane(const PaneServices& services, std::span<const LayoutRow> layout, QWidget* parent)
    : QWidget(parent), services_(services), layout_(layout) {}

QWidget* SettingsPane::Control(int id) const {
    const auto it = controls_.find(id);
    return it != controls_.end() ? it->second : nullptr;
}

QRect SettingsPane::RectOf(int id, int w, int h) const {
    const LayoutRow* row = FindRow(layout_, id);
    return row != nullptr ? RowRect(*row, w, h) : QRect();
}

void SettingsPane::AddControl(int id, QWidget* w) {
    controls_[id] = w;
    Place();
}

void SettingsPane::AddProductControls() {
    // The frame goes first so that the texts and the icon lie above it.
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setAccessibleName(tr("Informacje o produkcie"));
    AddControl(settings::kFrame, frame);
    auto* icon = new QLabel(this);
    icon->setPixmap(Skin(128).scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    icon->setAccessibleName(QStringLiteral("VelmoManager"));
    AddControl(settings::kProductIcon, icon);
    auto* product = new QLabel(services_.productText, this);
    product->setTextFormat(Qt::PlainText);
    AddControl(settings::kProductText, product);
    AddControl(settings::kCopyright, new QLabel(settings::CopyrightText(), this));
}

void SettingsPane::SetChanged(bool changed) {
    changed_ = changed;
    emit this->changed(changed);
}

void SettingsPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Place();
}

void SettingsPane::Place() {
    for (const auto& [id, w] : controls_) {
        const LayoutRow* row = FindRow(layout_, id);
        if (row == nullptr) {
            continue;
        }
        QRect r = RowRect(*row, width(), height());
        // A drop-down list's rectangle includes the list it drops; the control itself is one line high.
        if (qobject_cast<QComboBox*>(w) != nullptr) {
            r.setHeight(std::min(r.height(), w->sizeHint().height()));
        }
        w->setGeometry(r);
    }
}

}  // namespace velmo::manager

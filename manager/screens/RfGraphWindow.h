// The EV-DO RF signal graph: the DRC graph, the graph of the four powers and the current values, fed by the
// RF sampler's thread while "Start" is on. The sampler hands its findings over through its queue; this window
// drains it on a wake-up and is the only one to touch the graphs and the value fields.
#pragma once

#include <QDialog>
#include <QString>
#include <map>
#include <memory>

#include "manager/core/ModemSession.h"
#include "manager/core/RfSampler.h"

class QLabel;
class QPushButton;

namespace velmo::manager {

class CColorLabel;
class CRealTimeGraph;
class CScreenFlowThread;
class ScreenFlowHost;

class RfGraphWindow : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogId = 163;
    static constexpr int kMinimumWidth = 500;
    static constexpr int kMinimumHeight = 380;

    RfGraphWindow(const ModemSession& session, CScreenFlowThread& flows, QWidget* parent = nullptr);
    ~RfGraphWindow() override;

    QWidget* Control(int id) const;
    QString ValueText(int id) const;
    CRealTimeGraph* DrcGraph() const { return drc_; }
    CRealTimeGraph* PowerGraph() const { return power_; }
    QPushButton* StartButton() const { return start_; }
    bool Sampling() const { return sampler_.Running(); }
    // Snapshots plotted so far.
    int Samples() const { return samples_; }

  signals:
    // The window has closed (the main window forgets it).
    void closed();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void OnStart();
    void Drain();
    void Lay();
    void SetValue(int id, const QString& text);

    ModemSession session_;
    ScreenFlowHost* host_ = nullptr;
    CRfSampler sampler_;
    std::map<int, QWidget*> controls_;
    CRealTimeGraph* drc_ = nullptr;
    CRealTimeGraph* power_ = nullptr;
    QPushButton* start_ = nullptr;
    bool reportsEnabled_ = false;
    int samples_ = 0;
    bool closedSent_ = false;
};

}  // namespace velmo::manager

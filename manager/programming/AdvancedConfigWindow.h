// The advanced configuration window: the modem's NAM and service parameters, each with its "R" and "W"
// buttons, built from the rows of the model; its flow runs on the screen-flow thread.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "AdvancedConfigFlow.h"
#include "AdvancedConfigModel.h"
#include "manager/core/ModemSession.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QProgressDialog;
class QPushButton;

namespace velmo::manager {
class CScreenFlowThread;
class IUserPrompt;
class ScreenFlowHost;
}  // namespace velmo::manager

namespace velmo::manager::programming {

// Extra buttons of this window, beside the ids of its controls.
inline constexpr int kBackup = 2001;
inline constexpr int kRestore = 2002;
inline constexpr int kClose = 2003;

class AdvancedConfigWindow : public QDialog {
    Q_OBJECT
  public:
    // prompt: null for this window's own message boxes (tests give a recorder). linkType: the link the
    // worker opened last, for "Open Port".
    AdvancedConfigWindow(const ModemSession& session, CScreenFlowThread& flows,
                         std::function<int32_t()> linkType, IUserPrompt* prompt = nullptr,
                         QWidget* parent = nullptr);
    ~AdvancedConfigWindow() override;

    // Closes a question this window's flow has open (the application is closing).
    void CancelQuestions();

    QWidget* Control(int id) const;
    QPushButton* Button(int id) const;
    // What the window shows now.
    ConfigValues Values() const;
    ScreenFlowHost* Flows() const { return host_; }
    QString PortText() const;
    // The download's progress dialog while it runs, and how often it was moved on.
    QProgressDialog* Progress() const { return progress_; }
    int ProgressUpdates() const { return progressUpdates_; }

  signals:
    // The window has closed (the main window forgets it).
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    using Action = std::function<ConfigValues(CAdvancedConfigFlow&, const ConfigValues&)>;
    void RunValues(Action action);
    void RunPlain(std::function<void(CAdvancedConfigFlow&)> action);
    void Render(const ConfigValues& values);
    void UpdateEnabled();
    void Tick();
    QPushButton* AddButton(int id, const QString& text, const QString& name);
    void DownloadPrl(const QString& path);
    void ShowProgress(int sent, int total);

    struct ProgressBox {
        std::mutex mutex;  // guards the rest
        int sent = 0;
        int total = 0;
        bool posted = false;
    };

    ModemSession session_;
    std::shared_ptr<IUserPrompt> prompt_;
    std::shared_ptr<CAdvancedConfigFlow> flow_;
    CScreenFlowThread& flows_;
    ScreenFlowHost* host_ = nullptr;
    std::map<int, QWidget*> controls_;
    QComboBox* modeList_ = nullptr;
    QCheckBox* spcChange_ = nullptr;
    QLabel* portText_ = nullptr;
    QProgressDialog* progress_ = nullptr;
    QProgressBar* progressBar_ = nullptr;  // progress_'s bar
    int progressUpdates_ = 0;
    bool prlVersionShown_ = false;
    QTimer tick_;
    uint32_t searchesShown_ = 0;  // the worker's device searches when the values were read
    bool closedSent_ = false;
};

}  // namespace velmo::manager::programming

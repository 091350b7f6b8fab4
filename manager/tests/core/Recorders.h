// The one recorder of the view and prompt interfaces for every test (GoogleTest and QtTest alike), and a
// shared transcript. A prompt records text, caption, icon name and buttons and answers from a script.
#pragma once

#include <QString>
#include <deque>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "manager/core/DeviceView.h"
#include "manager/core/UserPrompt.h"

namespace velmo::manager::test {

class Transcript {
  public:
    void Add(const std::string& line) {
        std::lock_guard<std::mutex> lk(mutex_);
        lines_.push_back(line);
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lk(mutex_);
        return lines_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lk(mutex_);
        lines_.clear();
    }
    std::string Text() const {
        std::string out;
        for (const std::string& l : Lines()) {
            out += l + "\n";
        }
        return out;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

inline std::string Quote(const QString& text) {
    std::string s = text.toStdString();
    std::string out = "\"";
    for (char c : s) {
        if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// Every call is kept as one line; the calls that describe the device's state reach the transcript too.
// Values computed by the status model (signal, network image, battery) stay out of the transcript so that
// it pins the machine and not the model.
class RecordingView : public IDeviceView {
  public:
    explicit RecordingView(Transcript* transcript = nullptr) : transcript_(transcript) {}

    void SetStatusText(const QString& text) override {
        Record("SetStatusText(" + Quote(text) + ")", true);
        std::lock_guard<std::mutex> lk(mutex_);
        texts_.push_back(text);
    }
    void SetDeviceStatusCode(int code) override {
        Record("SetDeviceStatusCode(" + std::to_string(code) + ")", true);
    }
    void SetSignalLevel(int level) override {
        Record("SetSignalLevel(" + std::to_string(level) + ")", false);
    }
    void SetBatteryLevel(int level) override {
        Record("SetBatteryLevel(" + std::to_string(level) + ")", false);
    }
    void SetChargingAnimation(bool on) override {
        Record(std::string("SetChargingAnimation(") + B(on) + ")", false);
    }
    void SetBatteryWord(uint16_t word) override {
        Record("SetBatteryWord(" + std::to_string(word) + ")", false);
    }
    void SetTrafficIndicator(bool on) override {
        Record(std::string("SetTrafficIndicator(") + B(on) + ")", true);
    }
    void SetVoiceMailIcon(bool on) override { Record(std::string("SetVoiceMailIcon(") + B(on) + ")", false); }
    void SetNetworkImage(int image) override {
        Record("SetNetworkImage(" + std::to_string(image) + ")", false);
    }
    void SetConnectionImage(int image) override {
        Record("SetConnectionImage(" + std::to_string(image) + ")", true);
    }
    void SetConnectedLook(bool connected) override {
        Record(std::string("SetConnectedLook(") + B(connected) + ")", true);
    }
    void SetConnectButtonsEnabled(bool enabled) override {
        Record(std::string("SetConnectButtonsEnabled(") + B(enabled) + ")", true);
    }
    void SetMenuShown(bool shown) override { Record(std::string("SetMenuShown(") + B(shown) + ")", false); }
    void ClearNotices() override { Record("ClearNotices()", false); }
    void ShowNoticeWindow(NoticeWindowId id) override {
        Record("ShowNoticeWindow(" +
                   std::string(id == kNoticeA   ? "A"
                               : id == kNoticeB ? "B"
                                                : "C") +
                   ")",
               true);
    }
    void StatusRefreshed() override { Record("StatusRefreshed()", false); }
    void PostClose() override { Record("PostClose()", true); }

    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> lk(mutex_);
        return calls_;
    }
    std::vector<QString> Texts() const {
        std::lock_guard<std::mutex> lk(mutex_);
        return texts_;
    }
    QString LastText() const {
        std::lock_guard<std::mutex> lk(mutex_);
        return texts_.empty() ? QString() : texts_.back();
    }
    size_t Count(const std::string& call) const {
        size_t n = 0;
        for (const std::string& c : Calls()) {
            n += c == call ? 1 : 0;
        }
        return n;
    }
    // The last call of a setter, e.g. Last("SetSignalLevel").
    std::string Last(const std::string& setter) const {
        const auto calls = Calls();
        for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
            if (it->rfind(setter + "(", 0) == 0) {
                return *it;
            }
        }
        return {};
    }

  private:
    static const char* B(bool b) { return b ? "true" : "false"; }
    void Record(const std::string& call, bool transcribe) {
        {
            std::lock_guard<std::mutex> lk(mutex_);
            calls_.push_back(call);
        }
        if (transcribe && transcript_ != nullptr) {
            transcript_->Add("    view " + call);
        }
    }

    Transcript* transcript_;
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<QString> texts_;
};

struct PromptRecord {
    std::string kind;  // "message", "nowait", "pin", "puk", "spc", "file", "save-file", "profile"
    QString text;
    QString caption;
    PromptIcon icon = PromptIcon::None;
    int attempts = 0;
    PromptButtons buttons = PromptButtons::Ok;

    PromptRecord() = default;
    PromptRecord(std::string k, QString t, QString c, PromptIcon i, int a = 0,
                 PromptButtons b = PromptButtons::Ok)
        : kind(std::move(k)), text(std::move(t)), caption(std::move(c)), icon(i), attempts(a), buttons(b) {}

    std::string IconName() const { return PromptIconName(icon); }
    std::string ButtonsName() const { return PromptButtonsName(buttons); }
    bool operator==(const PromptRecord&) const = default;
};

inline void PrintTo(const PromptRecord& r, std::ostream* os) {
    *os << r.kind << " " << Quote(r.text) << " caption " << Quote(r.caption) << " icon " << r.IconName()
        << " buttons " << r.ButtonsName() << " attempts " << r.attempts;
}

inline PromptRecord Msg(const char* text, const char* caption = "", PromptIcon icon = PromptIcon::None,
                        PromptButtons buttons = PromptButtons::Ok) {
    return {"message", QString::fromUtf8(text), QString::fromUtf8(caption), icon, 0, buttons};
}

// Answers prompts from scripts. A message with more than an OK button takes the next of answers (Yes, or OK,
// when there is none left); a PIN, PUK, SPC, file or profile answer of nullopt is "Exit"/"Cancel", and so is
// an empty script.
class RecordingPrompt : public IUserPrompt {
  public:
    explicit RecordingPrompt(Transcript* transcript = nullptr) : transcript_(transcript) {}

    PromptAnswer Message(const QString& text, const QString& caption, PromptIcon icon,
                         PromptButtons buttons) override {
        Add({"message", text, caption, icon, 0, buttons});
        std::lock_guard<std::mutex> lk(mutex_);
        if (buttons == PromptButtons::Ok) {
            return PromptAnswer::Ok;
        }
        if (answers.empty()) {
            return buttons == PromptButtons::YesNo ? PromptAnswer::Yes : PromptAnswer::Ok;
        }
        const PromptAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    void MessageNoWait(const QString& text, const QString& caption, PromptIcon icon) override {
        Add({"nowait", text, caption, icon});
    }
    bool AskPin(int attemptsLeft, QString* pin) override {
        Add({"pin", QString(), QString(), PromptIcon::None, attemptsLeft});
        return Take(pins, pin);
    }
    bool AskPuk(int attemptsLeft, PukEntry* entry) override {
        Add({"puk", QString(), QString(), PromptIcon::None, attemptsLeft});
        return Take(puks, entry);
    }
    bool AskSpc(QString* spc) override {
        Add({"spc", QString(), QString(), PromptIcon::None});
        return Take(spcs, spc);
    }
    bool AskSpcAgain(QString* spc) override {
        Add({"spc-again", QString(), QString(), PromptIcon::None});
        return Take(spcs, spc);
    }
    bool AskOpenFile(const QString& caption, const QString& filter, QString* path) override {
        Add({"file", filter, caption, PromptIcon::None});
        return Take(files, path);
    }
    bool AskSaveFile(const QString& caption, const QString& filter, QString* path) override {
        Add({"save-file", filter, caption, PromptIcon::None});
        return Take(files, path);
    }
    // Records the title and the name the dialog started with.
    bool AskProfile(const QString& title, ProfileRecord* record) override {
        Add({"profile", record->name, title, PromptIcon::None});
        return Take(profiles, record);
    }

    std::vector<PromptRecord> Records() const {
        std::lock_guard<std::mutex> lk(mutex_);
        return records_;
    }
    std::vector<PromptRecord> Messages() const {
        std::vector<PromptRecord> out;
        for (const PromptRecord& r : Records()) {
            if (r.kind == "message" || r.kind == "nowait") {
                out.push_back(r);
            }
        }
        return out;
    }
    void Clear() {
        std::lock_guard<std::mutex> lk(mutex_);
        records_.clear();
    }

    // The scripts; set them before the code under test asks.
    std::deque<PromptAnswer> answers;
    std::deque<std::optional<QString>> pins;
    std::deque<std::optional<PukEntry>> puks;
    std::deque<std::optional<QString>> spcs;
    std::deque<std::optional<QString>> files;
    std::deque<std::optional<ProfileRecord>> profiles;

  private:
    template <class T>
    bool Take(std::deque<std::optional<T>>& script, T* out) {
        std::lock_guard<std::mutex> lk(mutex_);
        if (script.empty()) {
            return false;
        }
        const std::optional<T> next = script.front();
        script.pop_front();
        if (!next) {
            return false;
        }
        *out = *next;
        return true;
    }
    void Add(const PromptRecord& r) {
        {
            std::lock_guard<std::mutex> lk(mutex_);
            records_.push_back(r);
        }
        if (transcript_ != nullptr) {
            // Codes typed by the user never reach a transcript.
            const bool asks = r.kind == "pin" || r.kind == "puk";
            transcript_->Add("    prompt " + r.kind + " " + Quote(r.text) + " caption " + Quote(r.caption) +
                             " icon " + r.IconName() +
                             (r.kind == "message" && r.buttons != PromptButtons::Ok
                                  ? " buttons " + r.ButtonsName()
                                  : std::string()) +
                             (asks ? " attempts " + std::to_string(r.attempts) : std::string()));
        }
    }

    Transcript* transcript_;
    mutable std::mutex mutex_;
    std::vector<PromptRecord> records_;
};

}  // namespace velmo::manager::test

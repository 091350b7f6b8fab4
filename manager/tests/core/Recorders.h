// Recording implementations of the view and prompt interfaces, a shared transcript, and the comparison with
// the checked-in transcripts (VELMO_UPDATE_TRANSCRIPTS=1 rewrites them).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QString>
#include <deque>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
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

// Compares the transcript with transcripts/<name>.txt beside this file.
inline void ExpectTranscript(const std::string& name, const std::string& text) {
    const std::string path = std::string(VELMO_TRANSCRIPT_DIR) + "/" + name + ".txt";
    const char* update = getenv("VELMO_UPDATE_TRANSCRIPTS");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary) << text;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << "missing " << path << " (run with VELMO_UPDATE_TRANSCRIPTS=1)";
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(expected.str(), text) << "transcript " << name << " differs";
}

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
    std::string kind;  // "message", "nowait", "pin", "puk"
    QString text;
    QString caption;
    PromptIcon icon = PromptIcon::None;
    int attempts = 0;

    bool operator==(const PromptRecord&) const = default;
};

inline void PrintTo(const PromptRecord& r, std::ostream* os) {
    *os << r.kind << " " << Quote(r.text) << " caption " << Quote(r.caption) << " icon "
        << static_cast<int>(r.icon) << " attempts " << r.attempts;
}

inline PromptRecord Msg(const char* text, const char* caption = "", PromptIcon icon = PromptIcon::None) {
    return {"message", QString::fromUtf8(text), QString::fromUtf8(caption), icon, 0};
}

// Answers prompts from scripts: a PIN or PUK answer of nullopt is "Exit".
class RecordingPrompt : public IUserPrompt {
  public:
    explicit RecordingPrompt(Transcript* transcript = nullptr) : transcript_(transcript) {}

    PromptAnswer Message(const QString& text, const QString& caption, PromptIcon icon,
                         PromptButtons buttons) override {
        Add({"message", text, caption, icon, 0});
        return buttons == PromptButtons::YesNo ? PromptAnswer::Yes : PromptAnswer::Ok;
    }
    void MessageNoWait(const QString& text, const QString& caption, PromptIcon icon) override {
        Add({"nowait", text, caption, icon, 0});
    }
    bool AskPin(int attemptsLeft, QString* pin) override {
        Add({"pin", QString(), QString(), PromptIcon::None, attemptsLeft});
        std::lock_guard<std::mutex> lk(mutex_);
        if (pins.empty() || !pins.front()) {
            if (!pins.empty()) {
                pins.pop_front();
            }
            return false;
        }
        *pin = *pins.front();
        pins.pop_front();
        return true;
    }
    bool AskPuk(int attemptsLeft, PukEntry* entry) override {
        Add({"puk", QString(), QString(), PromptIcon::None, attemptsLeft});
        std::lock_guard<std::mutex> lk(mutex_);
        if (puks.empty() || !puks.front()) {
            if (!puks.empty()) {
                puks.pop_front();
            }
            return false;
        }
        *entry = *puks.front();
        puks.pop_front();
        return true;
    }

    std::vector<PromptRecord> Records() const {
        std::lock_guard<std::mutex> lk(mutex_);
        return records_;
    }

    std::deque<std::optional<QString>> pins;
    std::deque<std::optional<PukEntry>> puks;

  private:
    void Add(const PromptRecord& r) {
        {
            std::lock_guard<std::mutex> lk(mutex_);
            records_.push_back(r);
        }
        if (transcript_ != nullptr) {
            // Codes typed by the user never reach a transcript.
            transcript_->Add("    prompt " + r.kind + " " + Quote(r.text) + " caption " + Quote(r.caption) +
                             " icon " + std::to_string(static_cast<int>(r.icon)) +
                             (r.kind == "pin" || r.kind == "puk" ? " attempts " + std::to_string(r.attempts)
                                                                 : std::string()));
        }
    }

    Transcript* transcript_;
    mutable std::mutex mutex_;
    std::vector<PromptRecord> records_;
};

}  // namespace velmo::manager::test

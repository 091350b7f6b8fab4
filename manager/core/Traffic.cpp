#include "Traffic.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <algorithm>

#include "Texts.h"
#include "platform/Ports.h"
#include "platform/dialup/FileUtil.h"

namespace velmo::manager {

namespace {

constexpr int kVersion = 1;
constexpr size_t kMaxFileBytes = 1 << 20;

// The file's field names, in the order of TrafficCounts.
struct Field {
    const char* name;
    uint64_t TrafficCounts::*member;
};
constexpr Field kFields[] = {
    {"bytesReceived", &TrafficCounts::bytesReceived},     {"bytesSent", &TrafficCounts::bytesSent},
    {"packetsReceived", &TrafficCounts::packetsReceived}, {"packetsSent", &TrafficCounts::packetsSent},
    {"connectedMs", &TrafficCounts::connectedMs},
};

QDate LocalDate(int64_t now) {
    return QDateTime::fromSecsSinceEpoch(now).date();
}

}  // namespace

TrafficCounts& TrafficCounts::operator+=(const TrafficCounts& o) {
    for (const Field& f : kFields) {
        this->*f.member += o.*f.member;
    }
    return *this;
}

void CTrafficHistory::Add(const QDate& day, const TrafficCounts& delta) {
    if (day.isValid() && !delta.Empty()) {
        days_[day] += delta;
    }
}

std::vector<TrafficDay> CTrafficHistory::LastDays(const QDate& today, int days) const {
    std::vector<TrafficDay> out;
    const QDate first = today.addDays(1 - days);
    for (auto it = days_.rbegin(); it != days_.rend(); ++it) {
        if (it->first <= today && it->first >= first) {
            out.push_back({it->first, it->second});
        }
    }
    return out;
}

void CTrafficHistory::Prune(const QDate& today) {
    const QDate first = today.addDays(1 - kTrafficKeptDays);
    std::erase_if(days_, [&](const auto& day) { return day.first < first; });
}

QByteArray CTrafficHistory::ToJson() const {
    QJsonArray days;
    for (const auto& [date, counts] : days_) {
        QJsonObject day{{QStringLiteral("date"), date.toString(Qt::ISODate)}};
        for (const Field& f : kFields) {
            // Whole numbers up to 2^53 survive a double; a day never comes near that.
            day.insert(QLatin1String(f.name), static_cast<qint64>(counts.*f.member));
        }
        days.append(day);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("version"), kVersion}, {QStringLiteral("days"), days}})
        .toJson(QJsonDocument::Indented);
}

CTrafficHistory CTrafficHistory::FromJson(const QByteArray& json) {
    CTrafficHistory history;
    const QJsonDocument document = QJsonDocument::fromJson(json);
    for (const QJsonValue& value : document.object().value(QStringLiteral("days")).toArray()) {
        const QJsonObject day = value.toObject();
        const QDate date = QDate::fromString(day.value(QStringLiteral("date")).toString(), Qt::ISODate);
        if (!date.isValid()) {
            continue;
        }
        TrafficCounts counts;
        for (const Field& f : kFields) {
            counts.*f.member =
                static_cast<uint64_t>(std::max<qint64>(day.value(QLatin1String(f.name)).toInteger(), 0));
        }
        history.Add(date, counts);
    }
    return history;
}

std::string TrafficFilePath() {
    return platform::StateHome() + "/velmo/traffic.json";
}

CTrafficMeter::CTrafficMeter(std::string path) : path_(std::move(path)) {
    std::string text;
    if (!path_.empty() && dialup::ReadSmallFile(path_, text, kMaxFileBytes)) {
        history_ = CTrafficHistory::FromJson(QByteArray::fromStdString(text));
    }
}

void CTrafficMeter::Feed(const ConnectionStatistics& r, int64_t now) {
    bool due = false;
    {
        std::lock_guard lock(mutex_);
        ConnectionStatistics base{};
        if (last_ && r.ConnectDuration >= last_->ConnectDuration) {
            base = *last_;
        } else {
            current_ = {};  // a new call
        }
        // Unsigned 32-bit differences: a counter that wrapped since the last reading still gives its step.
        TrafficCounts delta;
        delta.bytesReceived = static_cast<uint32_t>(r.BytesReceived - base.BytesReceived);
        delta.bytesSent = static_cast<uint32_t>(r.BytesSent - base.BytesSent);
        delta.packetsReceived = static_cast<uint32_t>(r.FramesReceived - base.FramesReceived);
        delta.packetsSent = static_cast<uint32_t>(r.FramesSent - base.FramesSent);
        delta.connectedMs = r.ConnectDuration - base.ConnectDuration;
        last_ = r;
        current_ += delta;
        if (!delta.Empty()) {
            history_.Add(LocalDate(now), delta);
            dirty_ = true;
        }
        due = dirty_ && (savedAt_ == 0 || now - savedAt_ >= kTrafficSaveSeconds || now < savedAt_);
        if (due) {
            savedAt_ = now;
        }
    }
    if (due) {
        Write();
    }
}

void CTrafficMeter::End() {
    {
        std::lock_guard lock(mutex_);
        if (!last_) {
            return;
        }
        last_.reset();
        current_ = {};
    }
    Write();
}

bool CTrafficMeter::Save() {
    return Write();
}

bool CTrafficMeter::Write() {
    std::lock_guard fileLock(fileMutex_);
    QByteArray json;
    {
        std::lock_guard lock(mutex_);
        if (!dirty_ || path_.empty()) {
            return true;
        }
        history_.Prune(QDate::currentDate());
        json = history_.ToJson();
        dirty_ = false;
    }
    const size_t slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        dialup::MakeDirectories(path_.substr(0, slash), 0700);
    }
    if (!dialup::WriteFileAtomically(path_, json.toStdString(), 0600)) {
        std::lock_guard lock(mutex_);
        dirty_ = true;  // tried again with the next save
        return false;
    }
    return true;
}

std::optional<TrafficCounts> CTrafficMeter::Current() const {
    std::lock_guard lock(mutex_);
    return last_ ? std::optional(current_) : std::nullopt;
}

std::vector<TrafficDay> CTrafficMeter::LastDays(const QDate& today, int days) const {
    std::lock_guard lock(mutex_);
    return history_.LastDays(today, days);
}

QString FormatBytes(uint64_t bytes) {
    return QLocale().formattedDataSize(static_cast<qint64>(std::min<uint64_t>(bytes, INT64_MAX)), 1,
                                       QLocale::DataSizeTraditionalFormat);
}

QString FormatDuration(int64_t seconds) {
    const int64_t s = std::max<int64_t>(seconds, 0);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString TrafficLine(const TrafficCounts& c) {
    return Tr::tr("Odebrano %1 (pakiety: %2), wysłano %3 (pakiety: %4)")
        .arg(FormatBytes(c.bytesReceived))
        .arg(c.packetsReceived)
        .arg(FormatBytes(c.bytesSent))
        .arg(c.packetsSent);
}

QString CurrentTrafficText(const std::optional<TrafficCounts>& current) {
    if (!current) {
        return Tr::tr("Bieżące połączenie: brak");
    }
    return Tr::tr("Bieżące połączenie (%1): %2")
        .arg(FormatDuration(static_cast<int64_t>(current->connectedMs / 1000)), TrafficLine(*current));
}

std::vector<TrafficTableRow> TrafficTable(const std::vector<TrafficDay>& days) {
    std::vector<TrafficTableRow> rows;
    TrafficCounts total;
    const QLocale locale;
    for (const TrafficDay& day : days) {
        rows.push_back({locale.toString(day.date, QLocale::ShortFormat),
                        FormatBytes(day.counts.bytesReceived), FormatBytes(day.counts.bytesSent),
                        FormatDuration(static_cast<int64_t>(day.counts.connectedMs / 1000))});
        total += day.counts;
    }
    if (!rows.empty()) {
        rows.push_back({Tr::tr("Razem"), FormatBytes(total.bytesReceived), FormatBytes(total.bytesSent),
                        FormatDuration(static_cast<int64_t>(total.connectedMs / 1000))});
    }
    return rows;
}

std::vector<QString> TrafficTableHeader() {
    return {Tr::tr("Dzień"), Tr::tr("Odebrano"), Tr::tr("Wysłano"), Tr::tr("Czas połączenia")};
}

}  // namespace velmo::manager

#include "SmsNotice.h"

#include <algorithm>

#include "Texts.h"

namespace velmo::manager {

namespace {

constexpr uint8_t kMessageReport = 17;
constexpr size_t kCodeAt = 1;
constexpr size_t kSenderLengthAt = 12;
constexpr size_t kSenderAt = 13;
constexpr size_t kSenderField = 32;
constexpr size_t kBodyLengthAt = 97;
constexpr size_t kBodyAt = 98;
constexpr size_t kBodyField = 255;

// The text of a field: length bytes at at, at most field of them and none past the span, up to a zero byte.
QString FieldText(std::span<const uint8_t> report, size_t at, size_t length, size_t field,
                  bool keepLineBreaks) {
    if (at >= report.size()) {
        return {};
    }
    const std::span<const uint8_t> bytes = report.subspan(at, std::min({length, field, report.size() - at}));
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), end - bytes.begin());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control && !(keepLineBreaks && c == u'\n')) {
            c = u' ';
        }
    }
    return text;
}

QString EscapeMarkup(QString text) {
    text.replace(u'&', QStringLiteral("&amp;"));
    text.replace(u'<', QStringLiteral("&lt;"));
    text.replace(u'>', QStringLiteral("&gt;"));
    return text;
}

}  // namespace

std::optional<SmsNotice> ReadSmsNotice(std::span<const uint8_t> report) {
    if (report.size() <= kBodyLengthAt || report[kCodeAt] != kMessageReport) {
        return std::nullopt;
    }
    SmsNotice notice;
    notice.sender = FieldText(report, kSenderAt, report[kSenderLengthAt], kSenderField, false).trimmed();
    notice.text = FieldText(report, kBodyAt, report[kBodyLengthAt], kBodyField, true);
    return notice;
}

QString NoticeTitle() {
    return Tr::tr("Nowa wiadomość");
}

QString NoticeBody(const SmsNotice& notice) {
    QString excerpt = notice.text.trimmed();
    if (excerpt.size() > kNoticeExcerpt) {
        qsizetype cut = kNoticeExcerpt;
        if (excerpt.at(cut - 1).isHighSurrogate()) {
            --cut;  // never half of a character
        }
        excerpt.truncate(cut);
        excerpt = excerpt.trimmed() + QChar(0x2026);
    }
    QString body = EscapeMarkup(notice.sender);
    if (!body.isEmpty() && !excerpt.isEmpty()) {
        body += u'\n';
    }
    return body + EscapeMarkup(excerpt);
}

}  // namespace velmo::manager

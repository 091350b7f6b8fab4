// The desktop notice of a received short message: what report 17 (MESSAGE) tells about it, read from the
// library's copy of the report, and the notice's title and body made from that.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <span>

namespace velmo::manager {

// Report 17's fields the notice shows.
struct SmsNotice {
    QString sender;  // the first address: the sender's number
    QString text;    // the message body
};

// Reads a copy of report 17. Each text is bounded by its length byte, its field and the span, cut at a zero
// byte, decoded as UTF-8 (invalid bytes replaced) and freed of control characters (spaces in their place;
// the text keeps its line breaks). Nothing when the span is not report 17 or ends before the body's length.
std::optional<SmsNotice> ReadSmsNotice(std::span<const uint8_t> report);

// "Nowa wiadomość", translated.
QString NoticeTitle();

// The sender, then on the next line the start of the text (at most kNoticeExcerpt characters, "…" when it
// goes on), with & < > escaped: notification servers may read the body as markup.
inline constexpr int kNoticeExcerpt = 120;
QString NoticeBody(const SmsNotice& notice);

}  // namespace velmo::manager

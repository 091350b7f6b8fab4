#include <gtest/gtest.h>

#include <QCoreApplication>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "manager/core/HandOffQueue.h"
#include "manager/core/SmsNotice.h"
#include "velmo/IOrvikModem.h"
#include "wire/LeCursor.h"

namespace velmo::manager {
namespace {

// Report 17 laid out as the stand-in sends it: slot, the sender's number, the time stamp and the UTF-8 body.
std::vector<uint8_t> MessageReport(std::string_view number, std::string_view body, int bodyLength = -1) {
    std::vector<uint8_t> p(ReportSize(17), 0);
    wire::LeWriter w(p);
    w.U8(0xE0).U8(17).U8(0x83).U32(5).Seek(12).U8(static_cast<uint8_t>(number.size())).Text(number, 32);
    w.Seek(80).Text("26/12/09 13:15:00", 17);
    w.U8(static_cast<uint8_t>(bodyLength < 0 ? body.size() : static_cast<size_t>(bodyLength)))
        .Text(body, 255);
    EXPECT_TRUE(w.ok());
    return p;
}

TEST(SmsNotice, ReadsSenderAndText) {
    const auto report = MessageReport("+48601234567", "Dzień dobry");
    const auto notice = ReadSmsNotice(report);
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->sender, QStringLiteral("+48601234567"));
    EXPECT_EQ(notice->text, QStringLiteral("Dzień dobry"));
    EXPECT_EQ(NoticeBody(*notice), QStringLiteral("+48601234567\nDzień dobry"));
    EXPECT_EQ(NoticeTitle(), QStringLiteral("Nowa wiadomość"));

    // Not report 17, or cut before the body's length: nothing.
    auto other = report;
    other[1] = 9;
    EXPECT_FALSE(ReadSmsNotice(other).has_value());
    EXPECT_FALSE(ReadSmsNotice(std::span(report).first(97)).has_value());
}

TEST(SmsNotice, LengthsAreBoundedByFieldAndSpan) {
    // A body length beyond the span: only what the span holds.
    const auto report = MessageReport("600100200", "abcdefghij", 200);
    const auto cut = ReadSmsNotice(std::span(report).first(98 + 4));
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->text, QStringLiteral("abcd"));
    EXPECT_EQ(cut->sender, QStringLiteral("600100200"));

    // A sender length beyond its field stops at the field; the second address is not read as the number.
    auto wide = MessageReport(std::string(32, '7'), "x");
    wide[12] = 250;
    wide[45] = 5;
    std::copy_n("99999", 5, wide.begin() + 46);
    const auto bounded = ReadSmsNotice(wide);
    ASSERT_TRUE(bounded.has_value());
    EXPECT_EQ(bounded->sender, QString(32, u'7'));
    EXPECT_EQ(bounded->text, QStringLiteral("x"));
}

TEST(SmsNotice, InvalidBytesAndControlsAreReplacedAndMarkupEscaped) {
    const auto report = MessageReport(
        "12\x01"
        "3",
        "a\xC5\x28z\tb\r\nc\x1B<b>&");
    const auto notice = ReadSmsNotice(report);
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->sender, QStringLiteral("12 3"));
    EXPECT_EQ(notice->text, QString::fromUtf8("a\uFFFD(z b\nc <b>&"));
    EXPECT_EQ(NoticeBody(*notice), QString::fromUtf8("12 3\na\uFFFD(z b\nc &lt;b&gt;&amp;"));

    // A long text: its start with "…", the escaping done after the cut so no entity is split.
    const SmsNotice longer{QStringLiteral("1"), QString(kNoticeExcerpt - 1, u'x') + QStringLiteral("&yyyy")};
    EXPECT_EQ(NoticeBody(longer),
              QStringLiteral("1\n") + QString(kNoticeExcerpt - 1, u'x') + QStringLiteral("&amp;…"));
}

TEST(HandOffQueue, BlocksFromAnotherThreadArriveInOrderOnTheReceiversThread) {
    std::vector<std::vector<uint8_t>> got;
    bool onReceiverThread = true;
    const std::thread::id receiver = std::this_thread::get_id();
    constexpr int kBlocks = 500;
    CHandOffQueue queue(
        [&](std::vector<uint8_t> block) {
            onReceiverThread = onReceiverThread && std::this_thread::get_id() == receiver;
            got.push_back(std::move(block));
        },
        kBlocks);
    std::thread producer([&] {
        for (int i = 0; i < kBlocks; ++i) {
            const uint8_t bytes[3] = {17, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)};
            EXPECT_TRUE(queue.Push(bytes));
        }
    });
    producer.join();
    // Past the capacity: dropped and counted, never waiting for the receiver.
    const uint8_t extra[1] = {1};
    EXPECT_FALSE(queue.Push(extra));
    EXPECT_EQ(queue.Dropped(), 1u);

    QCoreApplication::processEvents();
    ASSERT_EQ(got.size(), size_t{kBlocks});
    EXPECT_TRUE(onReceiverThread);
    for (int i = 0; i < kBlocks; ++i) {
        ASSERT_EQ(got[i], (std::vector<uint8_t>{17, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)}));
    }
    // Drained: room again, and a new wake-up follows.
    EXPECT_TRUE(queue.Push(extra));
    QCoreApplication::processEvents();
    EXPECT_EQ(got.size(), size_t{kBlocks} + 1);
}

}  // namespace
}  // namespace velmo::manager

// The Ethernet unit's own web pages, fetched over loopback the way a browser view would, and what the server
// does with requests that are not.
#include <gtest/gtest.h>

#include "EthernetFixture.h"
#include "library/service/ModemService.h"

namespace velmo::sim::test {
namespace {

struct Response {
    int status = 0;
    std::string head;
    std::string body;
    bool complete = false;  // the body has the length the head announced
};

Response Parse(const std::string& text) {
    Response r;
    const size_t end = text.find("\r\n\r\n");
    if (text.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos) {
        return r;
    }
    r.status = std::stoi(text.substr(9, 3));
    r.head = text.substr(0, end + 2);
    r.body = text.substr(end + 4);
    const size_t length = r.head.find("Content-Length: ");
    r.complete = length != std::string::npos && std::stoul(r.head.substr(length + 16)) == r.body.size();
    return r;
}

class EthernetWebTest : public EthernetTest {
  protected:
    // Sends raw bytes; with halfClose the client says it will send no more.
    Response Exchange(std::string_view request, bool halfClose = false) {
        const int fd = ConnectLoopback(unit_->HttpPort());
        if (fd < 0) {
            return {};
        }
        SendAll(fd, request);
        if (halfClose) {
            shutdown(fd, SHUT_WR);
        }
        const std::string text = ReadToEnd(fd);
        close(fd);
        return Parse(text);
    }
    Response Get(const std::string& target) {
        return Exchange("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: test\r\n\r\n");
    }
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(EthernetWebTest, TheStatusPageShowsTheModemAndTheManagerLinks) {
    Response page = Get("/");
    ASSERT_EQ(page.status, 200);
    EXPECT_TRUE(page.complete);
    EXPECT_TRUE(Has(page.head, "Content-Type: text/html; charset=utf-8\r\n"));
    EXPECT_TRUE(Has(page.head, "Connection: close\r\n"));
    EXPECT_TRUE(Has(page.body, "id=\"sid\">4139<"));
    EXPECT_TRUE(Has(page.body, "id=\"esn\">8F3A2C11<"));
    EXPECT_TRUE(Has(page.body, "id=\"host\">none<"));
    for (const char* link : {"href=\"app:Minimise\"", "href=\"APP:Beep\"", "href=\"app:beep\"",
                             "href=\"app:\"", "href=\"/settings\""}) {
        EXPECT_TRUE(Has(page.body, link)) << link;
    }
    // Nothing the page needs comes from elsewhere.
    EXPECT_FALSE(Has(page.body, "src="));
    EXPECT_FALSE(Has(page.body, "://"));

    // Values are read from the modem for each request, and the connected host shows.
    std::string error;
    ASSERT_TRUE(sim_->SetField("sid", "4242", &error)) << error;
    service::ModemService modem;
    ASSERT_EQ(modem.OpenNetworkLink(0), 1);
    page = Get("/index.html");
    ASSERT_EQ(page.status, 200);
    EXPECT_TRUE(Has(page.body, "id=\"sid\">4242<"));
    EXPECT_TRUE(Has(page.body, "id=\"host\">127.0.0.1:"));
}

TEST_F(EthernetWebTest, TheSettingsFormKeepsValidValuesAndRefusesOthers) {
    Response form = Get("/settings");
    ASSERT_EQ(form.status, 200);
    EXPECT_TRUE(Has(form.body, "<form method=\"get\" action=\"/settings\">"));
    EXPECT_TRUE(Has(form.body, "id=\"address\" name=\"address\" value=\"127.0.0.1\""));
    EXPECT_TRUE(Has(form.body, "value=\"" + std::to_string(unit_->DataPort()) + "\""));
    EXPECT_TRUE(Has(form.body, "href=\"/\""));

    Response saved =
        Get("/settings?name=Lab+unit%21&address=127.0.0.2&netmask=255.255.255.0&gateway=&port=9734&"
            "dhcp=on&save=Save");
    ASSERT_EQ(saved.status, 200);
    EXPECT_TRUE(Has(saved.body, "class=\"notice\">Saved."));
    form = Get("/settings");
    EXPECT_TRUE(Has(form.body, "value=\"Lab unit!\""));
    EXPECT_TRUE(Has(form.body, "value=\"127.0.0.2\""));
    EXPECT_TRUE(Has(form.body, "name=\"dhcp\" checked"));
    EXPECT_TRUE(Has(Get("/").body, "<h1>Lab unit!</h1>"));

    // Every bad field is named, the typed values come back escaped, and nothing is kept.
    Response refused =
        Get("/settings?name=%3Cb%3E&address=300.1.1.1&netmask=255.0.255.0&gateway=x&port=0&save=Save");
    ASSERT_EQ(refused.status, 200);
    EXPECT_TRUE(Has(refused.body, "class=\"problem\">Not saved."));
    EXPECT_TRUE(Has(refused.body, "IP address"));
    EXPECT_TRUE(Has(refused.body, "netmask is not"));
    EXPECT_TRUE(Has(refused.body, "gateway is not"));
    EXPECT_TRUE(Has(refused.body, "data port takes"));
    EXPECT_TRUE(Has(refused.body, "value=\"&lt;b&gt;\""));
    EXPECT_FALSE(Has(refused.body, "\"<b>\""));
    EXPECT_TRUE(Has(refused.body, "<h1>Lab unit! settings</h1>"));
    form = Get("/settings");
    EXPECT_TRUE(Has(form.body, "value=\"127.0.0.2\""));
    EXPECT_TRUE(Has(form.body, "value=\"Lab unit!\""));
}

TEST_F(EthernetWebTest, UnknownPagesAndMethodsAreRefused) {
    EXPECT_EQ(Get("/nope").status, 404);
    EXPECT_EQ(Get("/settings/").status, 404);
    EXPECT_EQ(Get("/../etc/passwd").status, 404);

    const Response post = Exchange("POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc");
    EXPECT_EQ(post.status, 405);
    EXPECT_TRUE(Has(post.head, "Allow: GET, HEAD\r\n"));

    const Response get = Get("/");
    const Response head = Exchange("HEAD / HTTP/1.1\r\n\r\n");
    ASSERT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.empty());
    EXPECT_TRUE(Has(head.head, "Content-Length: " + std::to_string(get.body.size()) + "\r\n"));
}

TEST_F(EthernetWebTest, MalformedRequestsGetAnErrorAndTheServerGoesOn) {
    // A client that connects and says nothing must not hold up the others.
    const int idle = ConnectLoopback(unit_->HttpPort());
    ASSERT_GE(idle, 0);

    EXPECT_EQ(Exchange("GARBAGE\r\n\r\n").status, 400);
    EXPECT_EQ(Exchange("GET /\r\n\r\n").status, 400);
    EXPECT_EQ(Exchange("GET / HTTP/1.1 extra\r\n\r\n").status, 400);
    EXPECT_EQ(Exchange("GET http://127.0.0.1/ HTTP/1.1\r\n\r\n").status, 400);
    EXPECT_EQ(Exchange("GET / HTTP/2.0\r\n\r\n").status, 400);
    EXPECT_EQ(Exchange("GET / HTTP/1.1\r\nNo colon here\r\n\r\n").status, 400);
    EXPECT_EQ(Exchange(std::string("GET /\0x HTTP/1.1\r\n\r\n", 20)).status, 400);
    EXPECT_EQ(Exchange(std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11)).status, 400);
    // Cut off before the end of its head.
    EXPECT_EQ(Exchange("GET / HTTP/1.1\r\nHost: 127", true).status, 400);
    // A head that never ends is answered once it passes the limit, without a reset that would lose the
    // answer.
    const Response big = Exchange("GET / HTTP/1.1\r\nX-Filler: " + std::string(20000, 'a') + "\r\n\r\n");
    EXPECT_EQ(big.status, 431);
    EXPECT_TRUE(big.complete);

    const Response page = Get("/");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.complete);
    close(idle);
    EXPECT_EQ(unit_->Stats().httpRequests, 11u);
}

}  // namespace
}  // namespace velmo::sim::test

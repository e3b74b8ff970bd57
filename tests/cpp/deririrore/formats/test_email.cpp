#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/formats/email.hpp"

namespace f = deririrore::formats;

namespace {

struct Case {
    std::string text;
    bool email;
    bool idn_email;
};

TEST(EmailFormat, DefaultOptions) {
    const std::vector<Case> cases = {
        {"joe.bloggs@example.com", true, true},
        {"te~st@example.com", true, true},
        {"~test@example.com", true, true},
        {"a!#$%&'*+-/=?^_`{|}~@example.com", true, true},
        {"test@localhost", true, true},
        {"\"joe bloggs\"@example.com", true, true},
        {"\"joe..bloggs\"@example.com", true, true},
        {"\"a\\\"b\"@example.com", true, true},
        {"\"a@b\"@example.com", true, true},
        // An empty quoted local part is judged as "a" in quotes.
        {"\"\"@example.com", true, true},
        {"\"\"@[1.2.3]", false, false},
        {"a@[IPv6:::1]", true, true},
        {"a@[ipv6:::1]", true, true},
        {"a@[1.2.3.4]", true, true},
        {"a@[1.2.3]", false, false},
        {"a@[127.0.0.300]", false, false},
        {"a@[IPv6:::12345]", false, false},
        {"a@[IPv6:1.2.3.4]", false, false},
        {"a@[example.com]", false, false},
        {"a@[1.2.3.4", false, false},
        {"Joe Bloggs <joe@example.com>", true, true},
        {"\"Bloggs, Joe\" <joe@example.com>", true, true},
        {"John Q. Public <jqp@example.com>", true, true},
        {"<joe@example.com>", true, true},
        {"Joe <joe@example.com> x", false, false},
        {"Joe <joe@example.com", false, false},
        {"a@b <joe@example.com>", false, false},
        {"2962", false, false},
        {"", false, false},
        {"@example.com", false, false},
        {"a@", false, false},
        {".a@example.com", false, false},
        {"a.@example.com", false, false},
        {"a..b@example.com", false, false},
        {"a@example..com", false, false},
        {"a@-example.com", false, false},
        {"a@invalid=domain.com", false, false},
        {"a b@example.com", false, false},
        {" a@example.com", false, false},
        {"a@example.com ", false, false},
        {"\"a\"b@example.com", false, false},
        {"\"a@example.com", false, false},
        {"a@ab--cd.com", false, false},
        // Non-ASCII local parts: only "idn-email".
        {"\xc3\xbc@example.com", false, true},
        {"\xc3\xbc.\xc3\xa9@example.com", false, true},
        {"\"\xc3\xbc\"@example.com", false, true},
        {"\xc3\xbc..a@example.com", false, false},
        // An internationalised domain: only "idn-email".
        {"a@b\xc3\xbc" "cher.x", false, true},
        {"a@xn--bcher-kva.x", true, true},
        {"a@a\xc2\xb7l.x", false, false},
        // The domain of a display-name form is the address's, not the text's tail.
        {"J\xc3\xb6" "e <a@b\xc3\xbc" "cher.x>", false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(f::check_email(c.text), c.email) << "email: " << c.text;
        EXPECT_EQ(f::check_idn_email(c.text), c.idn_email) << "idn-email: " << c.text;
    }
}

TEST(EmailFormat, LocalPartIsAtMost64Octets) {
    const std::string local64(64, 'a');
    EXPECT_TRUE(f::check_email(local64 + "@example.com"));
    EXPECT_FALSE(f::check_email(local64 + "a@example.com"));
    EXPECT_FALSE(f::check_idn_email(local64 + "a@example.com"));
}

TEST(EmailFormat, Options) {
    struct OptionCase {
        f::EmailOptions options;
        std::string text;
        bool valid;
    };
    const f::EmailOptions two_labels{2, true, true};
    const f::EmailOptions no_literals{0, false, true};
    const f::EmailOptions no_display{0, true, false};
    const std::vector<OptionCase> cases = {
        {two_labels, "a@localhost", false},
        {two_labels, "a@example.com", true},
        {two_labels, "a@[1.2.3.4]", true},
        {f::EmailOptions{3, true, true}, "a@example.com", false},
        {f::EmailOptions{3, true, true}, "a@mail.example.com", true},
        {no_literals, "a@[1.2.3.4]", false},
        {no_literals, "a@[IPv6:::1]", false},
        {no_literals, "a@example.com", true},
        {no_display, "Joe <a@example.com>", false},
        {no_display, "<a@example.com>", false},
        {no_display, "a@example.com", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(f::check_email(c.text, &c.options), c.valid) << "email: " << c.text;
        EXPECT_EQ(f::check_idn_email(c.text, &c.options), c.valid) << "idn-email: " << c.text;
    }
}

TEST(EmailFormat, ParserSplitsAtTheAddress) {
    const f::EmailOptions defaults;
    const auto plain = f::parse_email_address("\"a@b\"@example.com", defaults);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->local, "\"a@b\"");
    EXPECT_EQ(plain->domain, "example.com");

    const auto named = f::parse_email_address("Joe <joe@[1.2.3.4]>", defaults);
    ASSERT_TRUE(named);
    EXPECT_EQ(named->local, "joe");
    EXPECT_EQ(named->domain, "[1.2.3.4]");

    EXPECT_FALSE(f::parse_email_address("\xc3\xbc@x", defaults));
    const auto letters = f::parse_email_address("\xc3\xbc@x", defaults, true);
    ASSERT_TRUE(letters);
    EXPECT_EQ(letters->local, "\xc3\xbc");
}

}  // namespace

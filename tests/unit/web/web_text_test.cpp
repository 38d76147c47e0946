// URL decoding, HTML escaping and names in links.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "web/web_text.h"

namespace zk {
namespace {

TEST(UrlDecode, Cases) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"%41", "A"},
        {"a+b", "a b"},
        {"%G1", "G1"},
        {"%4", "4"},
        {"%", ""},
        {"x%", "x"},
        {"%2b", "+"},  // a decoded plus stays a plus: "+" is turned first
        {"%2B+", "+ "},
        {"%41%42c", "ABc"},
        {"%%41", "A"},  // the first "%" has no two digits after it
        {"%26name%3Dx", "&name=x"},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        url_decode(text);
        EXPECT_EQ(text, c.out) << "input " << c.in;
    }
}

TEST(HtmlEscape, EscapesTheFourMarkupCharacters) {
    EXPECT_EQ(html_escape("<script>alert(\"x&y\")</script>'"),
              "&lt;script&gt;alert(&quot;x&amp;y&quot;)&lt;/script&gt;'");
    EXPECT_EQ(html_escape("plain name 1"), "plain name 1");
}

TEST(LinkName, KeepsSpacesAndSurvivesDecoding) {
    for (const std::string& name :
         std::vector<std::string>{"a b", "50% off", "a+b", "x&y", "#1", "plain"}) {
        std::string link = link_name(name);
        EXPECT_EQ(link.find('+'), std::string::npos) << name;
        EXPECT_EQ(std::count(link.begin(), link.end(), ' '),
                  std::count(name.begin(), name.end(), ' '))
            << name;
        url_decode(link);
        EXPECT_EQ(link, name);
    }
}

}  // namespace
}  // namespace zk

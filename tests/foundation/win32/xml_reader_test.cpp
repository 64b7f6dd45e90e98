#include "foundation/win32/xml_reader.h"

#include "foundation/kpl/io_exceptions.h"
#include "tests/support/guarded_buffer.h"

#include <doctest/doctest.h>

#include <string>
#include <vector>

namespace {

// Records the callbacks as lines: "E name [a=1 b=2] {content}" (content "-" for an empty element)
// and "T text".
struct recorder final : xml_reader::handler {
    std::vector<std::string> events;

    void on_element(const char* name, const xml_reader::attribute_map& attributes, const char* content,
                    size_t length) override {
        std::string line = std::string("E ") + name + " [";
        bool first = true;
        attributes.for_each([&](const xml_reader::attribute_map::node& n) {
            if (!first) line += " ";
            first = false;
            line += std::string(n.key.c_str()) + "=" + n.value.c_str();
        });
        line += "] ";
        line += content ? "{" + std::string(content, length) + "}" : std::string("-");
        events.push_back(line);
    }
    void on_text(const char* text, size_t length) override { events.push_back("T " + std::string(text, length)); }
};

std::vector<std::string> parse_document(const std::string& text) {
    recorder r;
    guarded_text g(text.data(), text.size());
    xml_reader::parse_document(r, g.data(), g.size());
    return r.events;
}

std::vector<std::string> parse_body(const std::string& text) {
    recorder r;
    guarded_text g(text.data(), text.size());
    xml_reader::parse_body(r, g.data(), g.size());
    return r.events;
}

std::string decode(const std::string& text) {
    kpl::utf8_string_pow2 out("> ");
    guarded_text g(text.data(), text.size());
    xml_reader::decode_entities(out, g.data(), g.size());
    return out.c_str();
}

std::string error_text(void (*run)(const std::string&), const std::string& text) {
    try {
        run(text);
    } catch (const ketrel_io::exception_io_data& e) {
        return std::string("io_data:") + e.what();
    } catch (const std::exception& e) {
        return std::string("other:") + e.what();
    }
    return "no error";
}

using lines = std::vector<std::string>;
const std::string decl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

}  // namespace

TEST_CASE("xml_reader: documents that parse") {
    struct {
        std::string text;
        lines events;
    } cases[] = {
        {"<?xml version=\"1.0\"?>", {}},  // the declaration alone
        {decl, {}},
        {"<?xml encoding=\"UTF-8\" ?>  <a/>", {"E a [] -"}},
        {"\xEF\xBB\xBF" + decl + "<a/>", {"E a [] -"}},  // a byte-order mark from a text editor
        {"<?xml encoding=\"latin1\" encoding=\"utf-8\"?><a/>", {"E a [] -"}},  // the later value counts
        {decl + "<strings lang=\"en\">\n  <s id=\"ok\">OK &amp; go</s>\n</strings>\n",
         {"E strings [lang=en] {\n  <s id=\"ok\">OK &amp; go</s>\n}", "T \n"}},
        {decl + "<!-- a comment --><a></a>", {"E a [] {}"}},
        {decl + "<a><b/></a>", {"E a [] {<b/>}"}},
        {decl + "<a>x</A>", {"E a [] {x}"}},  // end tags match ignoring A-Z case
        {decl + "<a><a>in</a></a >", {"E a [] {<a>in</a>}"}},
        {decl + "<a><!-- </a> --></a>", {"E a [] {<!-- </a> -->}"}},
        {decl + "<item x=\"1\"  Y = \"two words\" z=\"&lt;&#65;&gt;\"/>", {"E item [x=1 Y=two words z=<A>] -"}},
        {decl + "text &amp; more<br/>tail", {"T text &amp; more", "E br [] -", "T tail"}},
        {decl + "<a&amp;b/>", {"E a&b [] -"}},  // names are entity-decoded
    };
    for (auto& c : cases) {
        CAPTURE(c.text);
        CHECK(parse_document(c.text) == c.events);
    }

    // A body alone: no declaration is expected there.
    CHECK(parse_body("") == lines{});
    CHECK(parse_body("  ") == lines{"T   "});
    CHECK(parse_body("<a><b/></a>") == lines{"E a [] {<b/>}"});
    CHECK(parse_body("<b/>") == lines{"E b [] -"});
    CHECK(parse_body("x<!--c-->y") == lines{"T x", "T y"});

    // A handler reads an element's content by parsing it again.
    struct nested final : xml_reader::handler {
        std::vector<std::string> names;
        void on_element(const char* name, const xml_reader::attribute_map& a, const char* content, size_t length) override {
            names.push_back(std::string(name) + (content ? "" : "/") + (xml_reader::attribute(a, "ID") ? "#" : ""));
            if (content) xml_reader::parse_body(*this, content, length);
        }
        void on_text(const char*, size_t) override {}
    } h;
    std::string doc = decl + "<a><b id=\"1\"/><c>t<d/></c></a>";
    xml_reader::parse_document(h, doc.data(), doc.size());
    CHECK(h.names == lines{"a", "b/#", "c", "d/"});
}

TEST_CASE("xml_reader: malformed documents throw exception_io_data, never crash or over-read") {
    const std::string io_error = "io_data:" + std::string(ketrel_io::exception_io_data().what());
    struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", io_error},
        {"<?xml", io_error},
        {"<?xml>", io_error},
        {"<?XML version=\"1.0\"?>", io_error},
        {" <?xml version=\"1.0\"?>", io_error},
        {"<?xml version=\"1.0\"", io_error},           // never closed
        {"<?xml version=\"1.0\"?", io_error},
        {"<?xml version=\"1.0\"? >", io_error},
        {"<?xml version=1.0?>", io_error},             // unquoted value
        {"<?xml version =\"1.0\"?>", io_error},        // '=' must follow the name directly
        {"<?xml version=\"1.0?>", io_error},           // unterminated value
        {"<?xml ver-sion=\"1.0\"?>", io_error},
        {"<?xml encoding=\"iso-8859-1\"?>", "io_data:Heathen character encodings not supported"},
        {"<?xml encoding=\"utf-16\"?><a/>", "io_data:Heathen character encodings not supported"},
        {decl + "<a>", io_error},                       // no end tag
        {decl + "<a>x</b>", io_error},                  // the wrong end tag
        {decl + "</a>", io_error},                      // a stray end tag
        {decl + "<>", io_error},
        {decl + "</>", io_error},
        {decl + "< a/>", io_error},
        {decl + "<a", io_error},
        {decl + "<a x=\"1\" X=\"2\"/>", io_error},      // duplicate attribute, ignoring case
        {decl + "<a x/>", io_error},
        {decl + "<a x=1/>", io_error},
        {decl + "<a x=\"1/>", io_error},
        {decl + "<a =\"1\"/>", io_error},
        {decl + "<!-- a -- b -->", io_error},           // two dashes inside a comment
        {decl + "<!-- never closed", io_error},
        {decl + "<!-- ends with --", io_error},
        {decl + "<a><!-- bad -- --></a>", io_error},
        {decl + "<a><b></a>", io_error},                // runs out while looking for the end tag
        {decl + "<a><![CDATA[x]]></a>", io_error},      // not supported: it counts as an opening tag
        {decl + "<!DOCTYPE html><a/>", io_error},
        {decl + "<a>\xFF</a><b/>", "no error"},         // content is raw: its bytes are the handler's business
        {decl + "<a x=\"\xFF\"/>", io_error},           // but decoded values must be valid UTF-8
        {decl + "<a\xC3/>", io_error},
    };
    for (auto& c : cases) {
        CAPTURE(c.text);
        CHECK(error_text([](const std::string& t) { parse_document(t); }, c.text) == c.error);
    }

    // Nothing is reported for elements after the first error.
    recorder r;
    std::string doc = decl + "<a/><b x=\"1\" x=\"2\"/><c/>";
    CHECK_THROWS_AS(xml_reader::parse_document(r, doc.data(), doc.size()), ketrel_io::exception_io_data);
    CHECK(r.events == lines{"E a [] -"});

    // Every prefix of a valid document fails cleanly or parses; none reads past its end.
    std::string full = decl + "<a k=\"v&amp;\"><!-- c --><b/>t&#65;</a>";
    for (size_t n = 0; n <= full.size(); ++n) {
        recorder any;
        guarded_text g(full.data(), n);
        try {
            xml_reader::parse_document(any, g.data(), g.size());
        } catch (const ketrel_io::exception_io_data&) {
        }
    }
}

TEST_CASE("xml_reader: the handler's own exceptions pass through unchanged") {
    struct thrower final : xml_reader::handler {
        void on_element(const char*, const xml_reader::attribute_map&, const char*, size_t) override {
            throw kpl::exception_overflow();
        }
        void on_text(const char*, size_t) override {}
    } h;
    std::string doc = decl + "<a/>";
    CHECK_THROWS_AS(xml_reader::parse_document(h, doc.data(), doc.size()), kpl::exception_overflow);
}

TEST_CASE("xml_reader: entity decoding") {
    struct {
        std::string text;
        std::string decoded;
    } cases[] = {
        {"a &amp; b", "a & b"},
        {"&#65;&#x41;&#X41;&65;&AMP;", "AAAA&"},
        {"&lt;&gt;&apos;&quot;&Quot;", "<>'\"\""},
        {"&foo; stays", "&foo; stays"},
        {"lone & stays", "lone & stays"},
        {"no semicolon &amp", "no semicolon &amp"},
        {"&#0; &#x0; &0; &#00;", "&#0; &#x0; &0; &#00;"},  // value 0 would cut the text: kept as written
        {"&#x20AC;", "\xE2\x82\xAC"},
        {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
        {"&#xFFFFFFFF;", "&#xFFFFFFFF;"},   // cannot be encoded
        {"&#x100000000;", "&#x100000000;"}, // more than 32 bits
        {"&#4294967296;", "&#4294967296;"},
        {"&#;&#x;&x41;&#12a;", "&#;&#x;&x41;&#12a;"},
        {"&&amp;;", "&&;"},
        {"caf\xC3\xA9 &amp; th\xC3\xA9", "caf\xC3\xA9 & th\xC3\xA9"},
        {"", ""},
    };
    for (auto& c : cases) {
        CAPTURE(c.text);
        CHECK(decode(c.text) == "> " + c.decoded);
    }
    CHECK_THROWS_AS(decode("ab\xFF"), ketrel_io::exception_io_data);
    CHECK_THROWS_AS(decode("\xC3"), ketrel_io::exception_io_data);  // cut at the end of the counted text
    CHECK_THROWS_AS(decode(std::string("a\0b", 3)), ketrel_io::exception_io_data);
}

#pragma once
// A small non-validating reader for the UTF-8 XML of the language files. It builds no tree: it walks
// one level of content and hands each element (entity-decoded name, attributes, raw inner content)
// and each run of raw text to a handler, which reads an element's content by calling parse_body on
// it again.
//
//     <?xml version="1.0" encoding="utf-8"?>
//     <strings lang="en"><s id="ok">OK &amp; go</s></strings>
//
//   parse_document reports on_element("strings", {lang: "en"}, "<s id=\"ok\">OK &amp; go</s>");
//   parse_body over that content reports on_element("s", {id: "ok"}, "OK &amp; go"), whose text the
//   handler decodes with decode_entities into "OK & go".
//
// Grammar: a leading UTF-8 byte-order mark is skipped; the document starts with "<?xml " and a
// declaration whose "encoding", when present, must be utf-8 (any case); comments "<!-- -->" (no "--"
// inside); elements with double-quoted attributes whose names are unique ignoring A-Z case; "<x/>"
// is reported with null content; end tags match their start tag ignoring A-Z case. No DOCTYPE,
// CDATA, processing instructions or namespaces.
//
// Entities: &amp; &lt; &gt; &apos; &quot; (any A-Z case), &#65; &#x41; and &65; for code points; an
// unknown or unterminated entity and a numeric one of value 0 stay as written.
//
// Everything malformed throws ketrel_io::exception_io_data (the language-table text), and an
// unwanted encoding throws it with "Heathen character encodings not supported". The handler's own
// exceptions pass through unchanged. Nothing is reported for an element after the first error.
// The reader never reads outside the given text.

#include "foundation/kpl/avl_tree.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"

#include <cstddef>

class xml_reader {
public:
    // Attribute name -> entity-decoded value, names compared ignoring A-Z case.
    using attribute_map = kpl::avl_map<kpl::utf8_string_tight, kpl::utf8_string_tight, kpl::stricmp_ascii_compare>;

    class handler {
    public:
        // One element of the current level; content is the raw text between the start and end tag
        // (null and 0 for an empty element "<x/>").
        virtual void on_element(const char* name, const attribute_map& attributes, const char* content, size_t length) = 0;
        // A run of raw character data between tags (not decoded; whitespace included).
        virtual void on_text(const char* text, size_t length) = 0;

    protected:
        ~handler() = default;
    };

    // The value of an attribute, or null.
    static const char* attribute(const attribute_map& attributes, const char* name);

    // A whole document: the declaration, then the body.
    static void parse_document(handler& h, const char* text, size_t length);
    // A sequence of text runs, comments and elements.
    static void parse_body(handler& h, const char* text, size_t length);
    // Appends the text with its entities replaced; invalid UTF-8 throws.
    static void decode_entities(kpl::utf8_string& out, const char* text, size_t length);
};

// The title-formatting language driven through one table of (script, field values, expected text, expected
// truth). Every row is checked three ways: the folded tree (what a compiled script runs), the tree as
// compiled without folding (so folding never changes a text or a truth), and the public compile-and-run
// path for the text.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>

#include "metadata/title_formatting/title_function_table.h"
#include "metadata/title_formatting/title_script.h"
#include "metadata/text_crc.h"
#include "tests/metadata/title_formatting/title_fields.h"

namespace {

using namespace title_test;

struct script_case {
    const char* script;
    const char* fields;
    const char* expected;
    bool truth;
};

#define ETX "\x03"

const script_case g_cases[] = {
    // ---- literal text, quoting, doubled characters, line breaks ----
    {"", "", "", false},
    {"\r\n\r\n", "", "", false},
    {"a\r\nb\rc\nd", "", "abcd", false},
    {"plain text, with (no) specials", "", "plain text, with ", false},
    {"%%", "", "%", false},
    {"''", "", "'", false},
    {"$$", "", "$", false},
    {"100%% sure, it''s $$5", "", "100% sure, it's $5", false},
    {"'%artist%'", "artist=A", "%artist%", false},
    {"'[x]$y(,)'", "", "[x]$y(,)", false},
    {"'a\r\nb'", "", "a\r\nb", false},
    {"caf\xC3\xA9 \xF0\x9D\x84\x9E", "", "caf\xC3\xA9 \xF0\x9D\x84\x9E", false},

    // ---- fields ----
    {"%artist%", "artist=A", "A", true},
    {"%ARTIST%", "artist=A", "A", true},
    {"%artist%", "", "?", false},
    {"%genre%", "genre=", "?", false},
    {"%a b%", "a b=x", "x", true},
    {"x%artist%", "artist=A", "xA", true},
    {"[%artist% - ]%title%", "artist=A;title=T", "A - T", true},
    {"[%artist% - ]%title%", "title=T", "T", true},
    {"[%artist% - ]%title%", "", "?", false},

    // ---- conditional sections ----
    {"[abc]", "", "", false},
    {"[abc]x[def]", "", "x", false},
    {"[%nope%]x", "", "x", false},
    {"[a %nope% b]", "", "", false},
    {"[[%a%]%b%]", "b=B", "B", true},
    {"[[%a%]%b%]", "a=A", "A?", true},
    {"[%a%[ '('%b%')']]", "a=A", "A", true},
    {"[%a%[ '('%b%')']]", "a=A;b=B", "A (B)", true},
    {"[%a% (%b%)]", "a=A;b=B", "A ", true},
    {"[$nope(x)]y", "", "y", false},

    // ---- compilation stops at the first construct it cannot complete ----
    {"ab(cd", "", "ab", false},
    {"ab)cd", "", "ab", false},
    {"ab]cd", "", "ab", false},
    {"ab%cd", "", "ab", false},
    {"ab[cd", "", "ab", false},
    {"ab'cd", "", "ab", false},
    {"ab'", "", "ab", false},
    {"ab$", "", "ab", false},
    {"ab$upper (x)", "", "ab", false},
    {"ab$upper", "", "ab", false},
    {"ab$upper(x", "", "ab", false},
    {"ab$-(x)", "", "ab", false},
    {"a%b%c$upper(d", "b=B", "aBc", true},
    {"[a]b]c", "", "b", false},
    {"[a(b]c", "", "", false},
    {"[a'b]'c]d", "", "d", false},
    {"x[%a%$upper(]y", "a=A", "x", false},
    {"$upper(a'b,c'd)", "", "AB,CD", false},
    {"$upper(a%b,c%)", "", "", false},
    {"$upper([a,b])", "", "", false},
    {"$upper([%a%,b])", "a=A", "A,B", true},

    // ---- unknown functions and functions a provider offers ----
    {"$nope(x)", "", "[UNKNOWN FUNCTION]", false},
    {"x$(y)", "", "x[UNKNOWN FUNCTION]", false},
    {"$MyFunc(a,%artist%)", "artist=A", "myfunc(a|A)", true},
    {"$myfunc()", "", "myfunc()", true},
    {"$myfunc(,)", "", "myfunc(|)", true},
    {"$myfunc( )", "", "myfunc( )", true},
    {"$myfunc(a,)", "", "myfunc(a|)", true},
    {"$myfunc(%nope%,$upper(b))", "", "myfunc(?|B)", true},
    {"$UPPER(a)$Upper(b)$uPpEr(c)", "", "ABC", false},

    // ---- $if and its siblings, every syntax text ----
    {"$if(%artist%,yes,no)", "artist=A", "yes", false},
    {"$if(%artist%,yes,no)", "", "no", false},
    {"$if(%artist%,%title%)", "artist=A;title=T", "T", true},
    {"$if(%artist%,%title%)", "title=T", "", false},
    {"$if(x)", "", "[INVALID $IF SYNTAX]", false},
    {"$if()", "", "[INVALID $IF SYNTAX]", false},
    {"$if(a,b,c,d)", "", "[INVALID $IF SYNTAX]", false},
    {"[$if(a,b,c,d)]", "", "", false},
    {"$if2(%artist%,none)", "artist=A", "A", true},
    {"$if2(%artist%,none)", "", "none", false},
    {"$if2(a,b,c)", "", "[INVALID $IF2 SYNTAX]", false},
    {"$if2(a)", "", "[INVALID $IF2 SYNTAX]", false},
    {"$if3(%a%,%b%,none)", "b=B", "B", true},
    {"$if3(%a%,%b%,none)", "a=A;b=B", "A", true},
    {"$if3(%a%,%b%,none)", "", "none", false},
    {"$if3(x)", "", "", false},
    {"$if3()", "", "", false},
    {"$iflonger(abcd,3,long,short)", "", "long", false},
    {"$iflonger(abc,3,long,short)", "", "short", false},
    {"$iflonger(\xC3\xA9\xC3\xA9,1,long,short)", "", "long", false},
    {"$iflonger(a,b)", "", "[INVALID $IFLONGER SYNTAX]", false},
    {"$ifgreater(10,9,a,b)", "", "a", false},
    {"$ifgreater(9,10,a,b)", "", "b", false},
    {"$ifgreater(-1,-2,%x%,b)", "x=X", "X", true},
    {"$ifgreater(1,2,3)", "", "[INVALID $IFGREATER SYNTAX]", false},
    {"$ifequal(5,05,a,b)", "", "a", false},
    {"$ifequal(5,6,a,b)", "", "b", false},
    {"$ifequal(x)", "", "[INVALID $IFEQUAL SYNTAX]", false},
    {"$select(2,a,b,c)", "", "b", false},
    {"$select(2,a,b)", "", "b", false},
    {"$select(3,a,b)", "", "", false},
    {"$select(0,a,b)", "", "", false},
    {"$select(-1,a,b)", "", "", false},
    {"$select(1)", "", "", false},
    {"$select(1,%artist%)", "artist=A", "A", true},

    // ---- logic: these write nothing, only their truth counts ----
    {"$and(%a%,%b%)", "a=A;b=B", "", true},
    {"[$and(%a%,%b%)x]", "a=A;b=B", "x", true},
    {"[$and(%a%,%b%)x]", "a=A", "", false},
    {"[$and()x]", "", "x", true},
    {"[$or()x]", "", "", false},
    {"[$or(%a%,%b%)x]", "b=B", "x", true},
    {"[$xor(%a%,%b%)x]", "a=A;b=B", "", false},
    {"[$xor(%a%,%b%)x]", "a=A", "x", true},
    {"[$xor()x]", "", "", false},
    {"[$not(%a%)x]", "", "x", true},
    {"[$not(%a%)x]", "a=A", "", false},
    {"[$not(a,b)x]", "", "", false},
    {"$greater(3,2)", "", "", true},
    {"$greater(2,3)", "", "", false},
    {"$greater(1)", "", "", false},
    {"$longer(abc,ab)", "", "", true},
    {"$longer(ab,abc)", "", "", false},
    {"$strcmp(abc,abc)", "", "1", true},
    {"$strcmp(abc,ABC)", "", "", false},
    {"$strcmp(abc)", "", "", false},
    {"$stricmp(abc,ABC)", "", "1", true},
    {"$stricmp(\xC3\xA9t\xC3\xA9,\xC3\x89T\xC3\x89)", "", "1", true},
    {"$stricmp(abc,abd)", "", "", false},

    // ---- arithmetic, its limits and non-numbers ----
    {"$add()", "", "0", false},
    {"$mul()", "", "1", false},
    {"$sub()", "", "", false},
    {"$div()", "", "", false},
    {"$mod()", "", "", false},
    {"$min()", "", "", false},
    {"$max()", "", "", false},
    {"$add(1,2,3)", "", "6", false},
    {"$add(%n%,1)", "n=5", "6", true},
    {"$sub(10,3,2)", "", "5", false},
    {"$mul(2,3,4)", "", "24", false},
    {"$div(10,3)", "", "3", false},
    {"$div(-7,2)", "", "-3", false},
    {"$div(10,0)", "", "10", false},
    {"$div(10,0,2)", "", "5", false},
    {"$mod(10,3)", "", "1", false},
    {"$mod(-7,3)", "", "-1", false},
    {"$mod(7,-3)", "", "1", false},
    {"$mod(10,0)", "", "10", false},
    {"$min(3,1,2)", "", "1", false},
    {"$max(3,1,2)", "", "3", false},
    {"$min(5)", "", "5", false},
    {"$max(-5,%n%)", "n=-9", "-5", true},
    {"$add(abc,2)", "", "2", false},
    {"$add(  -3x,1)", "", "-2", false},
    {"$add(+4,1)", "", "5", false},
    {"$add( 12 34,0)", "", "12", false},
    {"$add(-,1)", "", "1", false},
    {"$add(9223372036854775807,1)", "", "-9223372036854775808", false},
    {"$sub(-9223372036854775808,1)", "", "9223372036854775807", false},
    {"$add(99999999999999999999,0)", "", "9223372036854775807", false},
    {"$add(-99999999999999999999,0)", "", "-9223372036854775808", false},
    {"$div(-9223372036854775808,-1)", "", "-9223372036854775808", false},
    {"$mod(-9223372036854775808,-1)", "", "0", false},
    {"$mul(-9223372036854775808,-1)", "", "-9223372036854775808", false},
    {"$mul(4294967296,4294967296)", "", "0", false},
    {"$muldiv(7,3,2)", "", "10", true},
    {"$muldiv(-7,3,2)", "", "-10", true},
    {"$muldiv(7,3,0)", "", "-1", true},
    {"$muldiv(-9223372036854775808,1,-1)", "", "-9223372036854775808", true},
    {"$muldiv(1,2)", "", "", false},
    {"$num(5,3)", "", "005", false},
    {"$num(-5,4)", "", "-005", false},
    {"$num(123,2)", "", "123", false},
    {"$num(%n%,2)", "n=7", "07", true},
    {"$dec(7,2)", "", "07", false},
    {"$num(-9223372036854775808,0)", "", "-9223372036854775808", false},
    {"$num(-9223372036854775808,25)", "", "-000009223372036854775808", false},
    {"$len($num(1,40))", "", "32", false},
    {"$len($num(1,-1))", "", "32", false},
    {"$num(5)", "", "", false},
    {"$hex(255,0)", "", "FF", false},
    {"$hex(255,4)", "", "00FF", false},
    {"$hex(-1,0)", "", "FFFFFFFF", false},
    {"$hex(4294967296,0)", "", "0", false},
    {"$hex(10,-5)", "", "A", false},
    {"$len($hex(1,40))", "", "32", false},
    {"$hex(255)", "", "", false},
    {"$roman(1994)", "", "MCMXCIV", false},
    {"$roman(4000)", "", "MMMM", false},
    {"$roman(-4)", "", "IV", false},
    {"$roman(0)", "", "", false},
    {"$roman(100001)", "", "", false},
    {"$len($roman(100000))", "", "100", false},
    {"$roman(-2147483648)", "", "", false},
    {"$roman(-9223372036854775808)", "", "", false},
    {"$roman(4294967297)", "", "I", false},
    {"$roman(%n%)", "n=9", "IX", true},

    // ---- variables ----
    {"$put(v,abc)$get(v)", "", "abcabc", true},
    {"$puts(v,abc)$get(V)", "", "abc", true},
    {"$get(v)", "", "", false},
    {"$puts(v,)$get(v)", "", "", false},
    {"$puts(\xC3\x89t\xC3\xA9,x)$get(\xC3\xA9T\xC3\x89)", "", "x", true},
    {"$puts(v,a)$puts(v,b)$get(v)", "", "b", true},
    {"$put(v,%artist%)", "artist=A", "A", true},
    {"$null(a,b)", "", "", false},
    {"[$null()x]", "", "", false},

    // ---- case, abbreviation, characters ----
    {"$upper(\xC3\xA9t\xC3\xA9)", "", "\xC3\x89T\xC3\x89", false},
    {"$lower(\xC3\x80" "BC)", "", "\xC3\xA0" "bc", false},
    {"$upper(\xF0\x9D\x84\x9E" "a)", "", "\xF0\x9D\x84\x9E" "A", false},
    {"$upper(%a%)", "a=x", "X", true},
    {"$upper(a,b)", "", "", false},
    {"$caps(the '['best']' OF it)", "", "The [Best] Of It", false},
    {"$caps2(the '['best']' OF)", "", "The [Best] OF", false},
    {"$caps(rock/pop|x\\y)", "", "Rock/Pop|X\\Y", false},
    {"$caps(o''neil \xC3\xA9T\xC3\xA9)", "", "O'neil \xC3\x89t\xC3\xA9", false},
    {"$caps('['live']')", "", "[Live]", false},
    {"$abbr(Final Fantasy VII)", "", "FFVII", false},
    {"$abbr(Mind '['Live']')", "", "M[Live]", false},
    {"$abbr('['live']' set)", "", "[live]s", false},
    {"$abbr(The Best OST)", "", "TBOST", false},
    {"$abbr(Dragon Quest rpg 3)", "", "DQrpg3", false},
    {"$abbr(Top 100 Hits)", "", "T100H", false},
    {"$abbr(Live '('In Concert')')", "", "LIC", false},
    {"$abbr(Live (In Concert))", "", "L", false},
    {"$abbr(Mix XIVth)", "", "MX", false},
    {"$abbr(OSTX rpgs)", "", "Or", false},
    {"$abbr(\xC3\x89t\xC3\xA9 Fou)", "", "\xC3\x89" "F", false},
    {"$abbr(Final Fantasy,20)", "", "Final Fantasy", false},
    {"$abbr(Final Fantasy,5)", "", "FF", false},
    {"$abbr(%a%)", "a=Big Band", "BB", true},
    {"$rot13(Hello World)", "", "Uryyb Jbeyq", false},
    {"$rot13(\xC3\xA9t\xC3\xA9)", "", "\xC3\xA9g\xC3\xA9", false},
    {"$ansi(caf\xC3\xA9)", "", "caf\xC3\xA9", false},
    {"$ascii(abc)", "", "abc", false},
    {"$crc32(abc)", "", "891568578", false},
    {"$crc32()", "", "", false},
    {"$char(65)", "", "A", false},
    {"[$char(65)]", "", "", false},
    {"$char(233)", "", "\xC3\xA9", false},
    {"$char(128512)", "", "\xF0\x9F\x98\x80", false},
    {"$char(1114111)", "", "\xF4\x8F\xBF\xBF", false},
    {"a$char(0)b", "", "ab", false},
    {"a$char(55296)b", "", "ab", false},
    {"a$char(57343)b", "", "ab", false},
    {"a$char(1114112)b", "", "ab", false},
    {"a$char(2147483648)b", "", "ab", false},
    {"a$char(-1)b", "", "ab", false},
    {"$crlf()", "", "\r\n", false},
    {"$crlf(a,b)", "", "\r\n", false},
    {"$tab()", "", "\t", false},
    {"$tab(3)", "", "\t\t\t", false},
    {"$tab(0)", "", "", false},
    {"$tab(a,b)", "", "\t", false},
    {"$len($tab(20))", "", "16", false},
    {"$len($tab(-1))", "", "16", false},
    {"$fix_eol(a$crlf()b)", "", "a (...)", false},
    {"$fix_eol(a$crlf()b,>)", "", "a>", false},
    {"$fix_eol(a$char(10)b,)", "", "a", false},
    {"$fix_eol(ab)", "", "ab", false},
    {"$fix_eol(%a%)", "a=x", "x", true},

    // ---- lengths, padding and cutting with their limits ----
    {"$len(\xC3\xA9t\xC3\xA9)", "", "3", false},
    {"$len2(abc)", "", "3", false},
    {"$len(%a%)", "a=xy", "2", true},
    {"$len()", "", "", false},
    {"$pad(ab,4)", "", "ab  ", false},
    {"$pad(ab,4,_)", "", "ab__", false},
    {"$pad(abcdef,4)", "", "abcdef", false},
    {"$pad(\xC3\xA9,3,xy)", "", "\xC3\xA9xx", false},
    {"$pad(ab,4,)", "", "ab  ", false},
    {"$pad_right(ab,4)", "", "  ab", false},
    {"$pad_right(ab,4,\xC3\xA9)", "", "\xC3\xA9\xC3\xA9" "ab", false},
    {"$len($pad(a,5000))", "", "1025", false},
    {"$len($pad(a,-1))", "", "1025", false},
    {"$len($pad_right(a,2000))", "", "1025", false},
    {"$pad(ab)", "", "", false},
    {"$padcut(abcdef,4)", "", "abcd", false},
    {"$padcut(ab,4,-)", "", "ab--", false},
    {"$padcut_right(ab,4,0)", "", "00ab", false},
    {"$padcut_right(abcdef,4)", "", "abcd", false},
    {"$padcut(\xC3\xA9t\xC3\xA9,2)", "", "\xC3\xA9t", false},
    {"$len($padcut(a,5000))", "", "1024", false},
    {"$len($padcut(a,-1))", "", "1024", false},
    {"$cut(abcdef,2)", "", "ab", false},
    {"$left(\xC3\xA9t\xC3\xA9,2)", "", "\xC3\xA9t", false},
    {"$left(ab,5)", "", "ab", false},
    {"$left(ab,-1)", "", "ab", false},
    {"$left(ab,0)", "", "", false},
    {"$left(%a%,1)", "a=xy", "x", true},
    {"$right(abcdef,2)", "", "ef", false},
    {"$right(ab,5)", "", "ab", false},
    {"$right(ab,0)", "", "", false},
    {"$right(ab,-1)", "", "", false},
    {"$right(\xC3\xA9t\xC3\xA9,1)", "", "\xC3\xA9", false},
    {"$substr(abcdef,2,4)", "", "bcd", false},
    {"$substr(abcdef,4,2)", "", "", false},
    {"$substr(abcdef,0,2)", "", "ab", false},
    {"$substr(abcdef,5,99)", "", "ef", false},
    {"$substr(\xC3\xA9t\xC3\xA9,2,2)", "", "t", false},
    {"$insert(abc,X,1)", "", "aXbc", false},
    {"$insert(abc,X,0)", "", "Xabc", false},
    {"$insert(abc,X,10)", "", "abcX", false},
    {"$insert(abc,X,-1)", "", "abcX", false},
    {"$repeat(ab,3)", "", "ababab", false},
    {"$repeat(ab,0)", "", "", false},
    {"$repeat(ab,-2)", "", "", false},
    {"$repeat(,2000000000)", "", "", false},
    {"$len($repeat(ab,100000))", "", "4096", false},
    {"$len($repeat(abc,100000))", "", "4098", false},
    {"$trim(  a b  )", "", "a b", false},
    {"$trim(--a-b--,-)", "", "a-b", false},
    {"$trim(\xC3\xA9" "a\xC3\xA9,\xC3\xA9)", "", "a", false},
    {"$trim(   )", "", "", false},
    {"$longest(ab,abc,xyz)", "", "abc", false},
    {"$shortest(ab,abc,xy)", "", "ab", false},
    {"$longest(%a%,%b%)", "a=xx;b=yy", "xx", true},
    {"$longest()", "", "", false},
    {"$replace(a.b.c,.,-)", "", "a-b-c", false},
    {"$replace(abcabc,ab,X,c,Y)", "", "XYXY", false},
    {"$replace(abc,,X)", "", "abc", false},
    {"$replace(aaa,aa,b)", "", "ba", false},
    {"$replace(abc,b,X,c)", "", "aXc", false},
    {"$replace(abc,b)", "", "", false},
    {"$strchr(abcb,b)", "", "2", true},
    {"$strchr(abc,x)", "", "0", false},
    {"$strchr(abc,)", "", "0", false},
    {"$strlchr(abcb,bz)", "", "2", true},
    {"$strrchr(abcb,b)", "", "4", true},
    {"$strchr(\xC3\xA9" "a\xC3\xA9,\xC3\xA9)", "", "1", true},
    {"$strrchr(\xC3\xA9" "a\xC3\xA9,\xC3\xA9)", "", "3", true},
    {"[$strchr(abc,x)]", "", "", false},
    {"$strstr(abcbc,bc)", "", "2", true},
    {"$strstr(\xC3\xA9" "abc,bc)", "", "3", true},
    {"$strstr(abc,)", "", "0", false},
    {"$strstr(abc,x)", "", "0", false},
    {"$stripprefix(The Doors)", "", "Doors", false},
    {"$stripprefix(A Tribe)", "", "Tribe", false},
    {"$stripprefix(The)", "", "The", false},
    {"$stripprefix(Theory)", "", "Theory", false},
    {"$stripprefix(THE Band)", "", "Band", false},
    {"$stripprefix(Die \xC3\x84rzte,die)", "", "\xC3\x84rzte", false},
    {"$stripprefix(The Doors,a)", "", "The Doors", false},
    {"$stripprefix(%a%)", "a=The Who", "Who", true},
    {"$swapprefix(The Doors)", "", "Doors, The", false},
    {"$swapprefix(tHE Doors)", "", "Doors, tHE", false},
    {"$swapprefix(Los Lobos,el,los)", "", "Lobos, Los", false},

    // ---- paths ----
    {"$filename(C:\\Music\\a.b.flac)", "", "a.b", false},
    {"$filename(C:\\Music\\noext)", "", "noext", false},
    {"$filename(C:\\Music\\.hidden)", "", ".hidden", false},
    {"$filename(http://x/a.mp3?x=1.2)", "", "a", false},
    {"$filename(%p%)", "p=a.flac", "a", true},
    {"$ext(C:\\Music\\a.b.flac)", "", "flac", false},
    {"$ext(%p%)", "p=C:\\a.b.flac", "flac", true},
    {"$ext(%p%)", "p=a.", "", false},
    {"$ext(noext)", "", "", false},
    {"$ext(x/a.mp3?x=1)", "", "mp3", false},
    {"$ext(a.b/c)", "", "", false},
    {"$ext(a.1234567890123456789012345678901)", "", "1234567890123456789012345678901", false},
    {"$ext(a.12345678901234567890123456789012)", "", "", false},
    {"$directory_path(C:\\Music\\a.flac)", "", "C:\\Music", false},
    {"$directory_path(%p%)", "p=C:\\Music\\a.flac", "C:\\Music", true},
    {"$directory_path(a.flac)", "", "", false},
    {"$directory(C:\\Music\\Rock\\a.flac)", "", "Rock", false},
    {"$directory(C:\\Music\\Rock\\a.flac,2)", "", "Music", false},
    {"$directory(C:\\Music\\Rock\\a.flac,3)", "", "", false},
    {"$directory(C:\\a\\b.flac,0)", "", "", false},
    {"[$directory(%p%)x]", "p=C:\\a.flac", "x", true},
    {"[$directory(%p%)x]", "p=a.flac", "", false},
    {"[$directory(%p%,2)x]", "p=a\\b.flac", "", false},
    {"[$directory(%p%,2)x]", "p=C:\\a.flac", "Cx", true},

    // ---- colour codes ----
    {"$rgb()", "", ETX ETX, false},
    {"$rgb(255,128,0)", "", ETX "0080FF" ETX, false},
    {"$rgb(300,-5,16)", "", ETX "1000FF" ETX, false},
    {"$rgb(1,2,3,4,5,6)", "", ETX "030201|060504" ETX, false},
    {"$rgb(1,2)", "", "", false},
    {"$rgb(1,2,3,4)", "", "", false},
    {"$rgb(1,2,3,4,5)", "", "", false},
    {"[$rgb(1,2,3)]", "", "", false},
    {"$hsl()", "", ETX ETX, false},
    {"$hsl(0,240,120)", "", ETX "0000FF" ETX, false},
    {"$hsl(20,240,120)", "", ETX "0080FF" ETX, false},
    {"$hsl(80,240,120)", "", ETX "00FF00" ETX, false},
    {"$hsl(160,240,120)", "", ETX "FF0000" ETX, false},
    {"$hsl(240,240,120)", "", ETX "FF00FF" ETX, false},
    {"$hsl(0,0,240)", "", ETX "FFFFFF" ETX, false},
    {"$hsl(0,0,120)", "", ETX "808080" ETX, false},
    {"$hsl(999,-5,120)", "", ETX "808080" ETX, false},
    {"$hsl(0,240,60,0,0,0)", "", ETX "000080|000000" ETX, false},
    {"$blend($rgb(0,0,0),$rgb(200,100,50),1,2)", "", ETX "193264" ETX, true},
    {"$blend($rgb(0,0,0),$rgb(200,100,50),3,2)", "", ETX "193264" ETX, true},
    {"$blend($rgb(0,0,0),$rgb(200,100,50),-1,2)", "", ETX "193264" ETX, true},
    {"$blend($rgb(0,0,0),$rgb(200,100,50),7,0)", "", ETX "193264" ETX, true},
    {"$blend($rgb(0,0,0),$rgb(200,100,50),2,2)", "", ETX "3264C8" ETX, true},
    {"$blend($rgb(0,0,0),$rgb(200,100,50),-2147483648,2)", "", ETX "000000" ETX, true},
    {"$blend($rgb(0,0,0),$rgb(200,100,50),1,2147483647)", "", ETX "000000" ETX, true},
    {"$blend($char(3)ff0000,$rgb(0,0,0),0,1)", "", ETX "FF0000" ETX, true},
    {"$blend($rgb(0,0,0,10,10,10),$rgb(200,100,50),1,2)", "", ETX "193264|050505" ETX, true},
    {"$blend(x,$rgb(1,2,3),1,2)", "", "", false},
    {"$blend($rgb(1,2,3),$rgb(1,2,3),1)", "", "", false},
    {"$transition(abc,$rgb(0,0,0),$rgb(20,40,60))", "",
     ETX "000000" ETX "a" ETX "1E140A" ETX "b" ETX "3C2814" ETX "c" ETX ETX, false},
    {"$transition(ab,$rgb(0,0,0),$rgb(20,20,20),1,1)", "", ETX "141414" ETX "a" ETX "000000" ETX "b" ETX ETX, false},
    {"$transition(a,$rgb(0,0,0,1,1,1),$rgb(2,2,2))", "", ETX "010101|010101" ETX "a" ETX ETX, false},
    {"$transition(\xC3\xA9,$rgb(0,0,0),$rgb(2,2,2))", "", ETX "010101" ETX "\xC3\xA9" ETX ETX, false},
    {"$transition(,$rgb(0,0,0),$rgb(1,1,1))", "", ETX ETX, false},
    {"$transition(abc,x,$rgb(0,0,0))", "", "abc", false},
    {"$transition(%a%,x,y)", "a=abc", "abc", true},
    {"$transition(a,b)", "", "", false},

    // ---- progress bars ----
    {"$progress(3,10,10,#,-)", "", "---#------", false},
    {"$progress(0,10,5,#,-)", "", "#----", false},
    {"$progress(10,10,5,#,-)", "", "----#", false},
    {"$progress(-5,10,4,#,-)", "", "#---", false},
    {"$progress(1,0,3,#,-)", "", "--#", false},
    {"$progress(1,4,2,#,-)", "", "-#", false},
    {"$progress(5,10,0,#,-)", "", "#", false},
    {"$len($progress(0,1,1000,a,b))", "", "256", false},
    {"$progress(1,2,3,4)", "", "", false},
    {"[$progress(%p%,10,2,#,-)]", "p=5", "", false},
    {"[$progress(%p%,%r%,2,#,-)]", "p=5;r=10", "-#", true},
    {"$progress2(3,10,10,#,-)", "", "###-------", false},
    {"$progress2(10,10,4,#,-)", "", "####", false},
    {"$progress2(20,10,4,#,-)", "", "####", false},
    {"$progress2(-1,10,4,#,-)", "", "----", false},
    {"$progress2(1,3,2,#,-)", "", "#-", false},
    {"$progress2(1,2,3,4,5,6)", "", "", false},

    // ---- dates and times ----
    {"$year(1999)", "", "1999", false},
    {"$year(%d%)", "d=1999-07-04 12:00", "1999", true},
    {"$year(1999-13)", "", "0000", false},
    {"$year(abc)", "", "0000", false},
    {"$year(1999-07-32)", "", "0000", false},
    {"$year(1999-07-04x)", "", "0000", false},
    {"$year(99)", "", "0000", false},
    {"$year(1999-7)", "", "0000", false},
    {"$year()", "", "0000", false},
    {"$year(1999,x)", "", "1999", false},
    {"$month(1999-07)", "", "07", false},
    {"[$month(%d%)]", "d=1999", "", false},
    {"[$month(%d%)]", "d=1999-07", "07", true},
    {"$day_of_month(1999-07-04)", "", "04", false},
    {"[$day_of_month(%d%)]", "d=1999-07-04", "04", true},
    {"$day_of_month(1999-07)", "", "00", false},
    {"$date(1999)", "", "1999", false},
    {"$date(1999-07)", "", "1999-07", false},
    {"$date(%d%)", "d=1999-07-04 12:00", "1999-07-04", true},
    {"$date(1999-13-01)", "", "", false},
    {"[$date(%d%)x]", "d=0000-01-01", "", false},
    {"$time(1999-07-04 12:30)", "", "12:30", false},
    {"$time(%d%)", "d=1999-07-04 12:30:45", "12:30:45", true},
    {"$time(12:30)", "", "12:30", false},
    {"$time(12:30:45  )", "", "12:30:45", false},
    {"$time(1999-07-04   12:30)", "", "12:30", false},
    {"$time(%d%)", "d=1999-07-04", "?", false},
    {"$time(12:30 pm)", "", "?", false},
    {"$time(1999-07-0412:30)", "", "?", false},
    {"$time(1:30)", "", "?", false},
    {"$time(12:30:4)", "", "?", false},
};

}  // namespace

TEST_CASE("title scripts: the language and every function, one table") {
    for (const script_case& c : g_cases) {
        INFO("script: " << std::string(c.script) << "   fields: " << std::string(c.fields));
        text_fields fields(c.fields);
        const result folded = evaluate_folded(c.script, fields);
        CHECK(folded.text == std::string(c.expected));
        CHECK(folded.truth == c.truth);
        const result unfolded = evaluate_unfolded(c.script, fields);
        CHECK(unfolded.text == std::string(c.expected));
        CHECK(unfolded.truth == c.truth);
        CHECK(run_script(c.script, &fields) == std::string(c.expected));
    }
}

TEST_CASE("title scripts: runs share nothing") {
    // Variables live for one run only, so the same script gives the same text every time.
    title_script_ref script = title_compile("$get(v)|$puts(v,x)$get(v)");
    for (int i = 0; i < 3; ++i) {
        kpl::utf8_string_pow2 out;
        script->run(nullptr, out, nullptr);
        CHECK(out == "|x");
    }

    // Compiling replaces what the reference held; the old script lives on while someone holds it.
    title_script_ref kept = script;
    CHECK(title_script_compiler::get().compile(script, "%a%"));
    CHECK(script != kept);
    kpl::utf8_string_pow2 out;
    kept->run(nullptr, out, nullptr);
    CHECK(out == "|x");
    script->run(nullptr, out, nullptr);
    CHECK(out == "?");

    // A null text compiles to the empty script.
    CHECK(title_script_compiler::get().compile(script, nullptr));
    out = "x";
    script->run(nullptr, out, nullptr);
    CHECK(out == "");
}

TEST_CASE("title scripts: text filters see only what providers write") {
    // The provider's text goes through the filter; literal text, function output and "?" do not.
    text_fields fields("title=a\tb;artist=Z");
    title_filter_no_control_chars no_controls;
    CHECK(run_script("%title%|$char(9)|%nope%|%artist%", &fields, &no_controls) == "a_b|\t|?|Z");
    CHECK(run_script("%title%", &fields) == "a\tb");

    struct recording_filter final : title_text_filter {
        std::string kinds;
        void write(const kpl::guid& kind, kpl::utf8_string& output, const char* text, uint32_t length) override {
            kinds += kind == text_kind_meta ? 'm' : (kind == text_kind_computed ? 'c' : '?');
            output.append("<");
            output.append(text, length);
            output.append(">");
        }
    } recorder;
    CHECK(run_script("x%artist%$myfunc(q)", &fields, &recorder) == "x<Z><myfunc(q)>");
    CHECK(recorder.kinds == "mc");
}

TEST_CASE("title scripts: provider chains") {
    text_fields first("artist=First;genre=");
    text_fields second("artist=Second;genre=Rock;title=T");
    title_provider_chain chain(first, second);
    CHECK(run_script("%artist%|%genre%|%title%|%none%", &chain) == "First|Rock|T|?");

    // A provider that sets the truth and then declines cannot leave it behind.
    struct declining final : title_field_provider {
        bool get_field(title_output_sink&, const char*, uint32_t, bool& truth) override {
            truth = true;
            return false;
        }
        bool call_function(title_output_sink&, const char*, uint32_t, const title_evaluated_args&, bool& truth) override {
            truth = true;
            return false;
        }
    } liar;
    struct known_but_false final : title_field_provider {
        bool get_field(title_output_sink& sink, const char*, uint32_t, bool&) override {
            sink.write(text_kind_meta, "v");
            return true;
        }
        bool call_function(title_output_sink&, const char*, uint32_t, const title_evaluated_args&, bool&) override {
            return true;
        }
    } quiet;
    title_provider_chain mixed(liar, quiet);
    CHECK(run_script("[%x%]|[$f()x]", &mixed) == "|");
    CHECK(run_script("%x%$f()", &mixed) == "v");
}

TEST_CASE("title functions: the table and its lookup") {
    const title_function_record* table = title_function_table();
    const char* const order[] = {
        "stripprefix", "swapprefix", "if", "if2", "if3", "upper", "lower", "trim", "pad", "pad_right", "cut",
        "padcut", "padcut_right", "repeat", "abbr", "caps", "caps2", "longest", "shortest", "iflonger",
        "ifgreater", "ifequal", "num", "dec", "hex", "strchr", "strlchr", "strrchr", "strstr", "len", "len2",
        "add", "sub", "mul", "div", "mod", "xor", "and", "or", "not", "filename", "min", "max", "get", "put",
        "puts", "null", "replace", "ext", "strcmp", "stricmp", "rot13", "roman", "left", "right", "char", "crlf",
        "tab", "substr", "directory", "directory_path", "greater", "longer", "progress", "progress2", "select",
        "rgb", "hsl", "blend", "transition", "insert", "muldiv", "fix_eol", "ansi", "ascii", "crc32", "year",
        "month", "day_of_month", "date", "time"};
    static_assert(sizeof(order) / sizeof(order[0]) == title_function_count, "81 names");
    for (uint32_t i = 0; i < title_function_count; ++i) {
        INFO(order[i]);
        CHECK(std::string(table[i].name) == order[i]);
        CHECK(table[i].name_hash == utf8_crc32_nocase(0xFFFFFFFF, order[i]));
        const bool variable = std::string(order[i]) == "get" || std::string(order[i]) == "put" ||
                              std::string(order[i]) == "puts";
        CHECK((table[i].foldable == 0) == variable);
        // Every name finds its own record (no two names share a hash), in any letter case.
        std::string upper = order[i];
        for (char& ch : upper) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
        title_function_handler handler = nullptr;
        bool foldable = false;
        CHECK(title_function_resolve(upper.c_str(), static_cast<uint32_t>(upper.size()), handler, foldable));
        CHECK((handler == table[i].handler));
        for (uint32_t j = 0; j < i; ++j) CHECK(table[j].name_hash != table[i].name_hash);
    }
    title_function_handler handler = nullptr;
    bool foldable = false;
    CHECK_FALSE(title_function_resolve("nope", 4, handler, foldable));
    CHECK_FALSE(title_function_resolve("", 0, handler, foldable));
    // The shared handlers.
    CHECK((table[10].handler == table[53].handler));  // cut, left
    CHECK((table[22].handler == table[23].handler));  // num, dec
    CHECK((table[25].handler == table[26].handler));  // strchr, strlchr
}

TEST_CASE("title functions: conversions that depend on the system") {
    // $ascii gives 7-bit text whatever the system makes of other characters.
    text_fields none("");
    std::string ascii = run_script("$ascii(caf\xC3\xA9 \xE6\x97\xA5)", &none);
    REQUIRE(ascii.size() == 6);
    CHECK(ascii.substr(0, 3) == "caf");
    CHECK(ascii[4] == ' ');
    for (char c : ascii) CHECK(static_cast<unsigned char>(c) < 0x80);
    // $ansi keeps what the code page has and replaces the rest.
    std::string ansi = run_script("$ansi(a\xE6\x97\xA5)", &none);
    CHECK(ansi.substr(0, 1) == "a");
    CHECK(ansi.find("\xE6\x97\xA5") == std::string::npos);
}

TEST_CASE("title scripts: nesting deeper than the limit is the error, quickly") {
    auto nested = [](const char* open, const char* inner, const char* close, size_t depth) {
        std::string s;
        for (size_t i = 0; i < depth; ++i) s += open;
        s += inner;
        for (size_t i = 0; i < depth; ++i) s += close;
        return s;
    };
    const std::string error = "[SCRIPT NESTED DEEPER THAN 100 LEVELS]";
    struct depth_case {
        std::string script;
        std::string expected;
    };
    const depth_case cases[] = {
        {nested("[", "%a%", "]", 100), "A"},
        {nested("$if(%a%,", "%a%", ")", 100), "A"},
        {nested("[", "%a%", "]", 101), error},
        {nested("[", "%a%", "]", 100000), error},
        {nested("$upper(", "x", ")", 100000), error},
        {"x" + nested("[$if(%a%,", "%a%", ")]", 50000), error},
        {nested("[", "%a%", "", 100000), ""},   // never closed: compiling stops at the first '['
    };
    text_fields fields("a=A");
    for (const depth_case& c : cases) {
        CAPTURE(c.script.substr(0, 40));
        CAPTURE(c.script.size());
        const DWORD start = GetTickCount();
        CHECK(run_script(c.script.c_str(), &fields) == c.expected);
        CHECK(GetTickCount() - start < 3000);
    }
}

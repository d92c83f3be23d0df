// The template formatter, the piece concatenation and the formatted message
// box. All but the message box also run natively under the sanitizers.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <limits.h>
#include <string.h>

#include <string>

#include "str.h"
#include "str_text.h"
#ifdef _WIN32
#include "msgbox.h"
#endif

namespace {

// Formats into a fresh buffer-less Str with flags 0.
std::string F(const char* tmpl, ...) {
    Str s;
    va_list args;
    va_start(args, tmpl);
    s.FormatV(0, tmpl, args);
    va_end(args);
    EXPECT_EQ(s.data[s.len], 0);
    EXPECT_EQ(s.data[s.len + 1], 0);
    return Text(s);
}

Str& FormatAt(Str& s, int32_t start, const char* tmpl, ...) {
    va_list args;
    va_start(args, tmpl);
    s.FormatV(start, tmpl, args);
    va_end(args);
    return s;
}

std::string Letters(size_t n) {
    std::string t;
    for (size_t i = 0; i < n; i++)
        t += static_cast<char>('a' + i % 26);
    return t;
}

const char* const kNull = nullptr;

TEST(FormatNumbers, DecimalAndHex) {
    struct {
        int32_t v;
        const char* dec;
        const char* hex;
    } cases[] = {
        {-5, "-5", "FFFFFFFB"},
        {0, "0", "0"},
        {INT_MIN, "-2147483648", "80000000"},
        {INT_MAX, "2147483647", "7FFFFFFF"},
        {255, "255", "FF"},
        {-1, "-1", "FFFFFFFF"},
        {0xABCDEF, "11259375", "ABCDEF"},
        {10, "10", "A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dec);
        EXPECT_EQ(F("#", c.v), c.dec);
        EXPECT_EQ(F("&", c.v), c.hex);
        EXPECT_EQ(F("<#|&>", c.v, c.v), std::string("<") + c.dec + "|" + c.hex + ">");
    }
}

TEST(FormatNumbers, GeneralFormOfDoubles) {
    struct {
        double v;
        const char* text;
    } cases[] = {
        {5.0, "5."},
        {0.5, "0.5"},
        {123.456, "123.456"},
        {1e10, "1.e+010"},
        {0.0015, "1.5e-003"},
        {1e9, "1000000000"},
        {1234567890.0, "1234567890"},
        {12345678901.0, "1.23456789e+010"},
        {1e-2, "1.e-002"},
        {1e-3, "1.e-003"},
        {0.05, "5.e-002"},
        {0.1, "0.1"},
        {1.0 / 3, "0.3333333333"},
        {2.0 / 3, "0.6666666667"},
        {100.0, "100."},
        {999999999.75, "999999999.8"},
        {1e100, "1.e+100"},
        {1.5e-300, "1.5e-300"},
        {-5.0, "-5."},
        {-0.5, "-0.5"},
        {-123.456, "-123.456"},
        {-0.0015, "-1.5e-003"},
        {-1e10, "-1.e+010"},
        {-1e9, "-1000000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(F("^", c.v), c.text);
    }
    // A double takes its 8 bytes of the list; the next directive follows.
    EXPECT_EQ(F("^#", 1.5, 7), "1.57");
}

TEST(FormatBytes, ByteDirectiveAndLiterals) {
    struct {
        const char* tmpl;
        std::string out;
    } cases[] = {
        {"[13][10]", "\r\n"},
        {"[0]", std::string("\0", 1)},
        {"a[0]b[0]", std::string("a\0b\0", 4)},
        {"[010]", "\x08"},
        {"[08]", std::string("\0", 1)}, // 8 is no octal digit
        {"[0x41]", "A"},
        {"[0X4a]", "J"},
        {"[321]", "A"}, // low 8 bits
        {"[65 and more]", "A"},
        {"[a]", "[a]"},
        {"[-1]", "[-1]"},
        {"[", "["},
        {"x[ ]", "x[ ]"},
        {"%s]}\xE9\xFF", "%s]}\xE9\xFF"},
        {"ab[12", "ab"}, // unterminated: the output ends
        {"ab[0x4", "ab"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tmpl);
        EXPECT_EQ(F(c.tmpl), c.out);
    }
}

TEST(FormatBytes, TextStrAndCountedBytes) {
    Str dir;
    dir.Assign("D:\\Tools\\");
    std::string folder = F("Can't create folder ~", &dir);
    EXPECT_EQ(folder, "Can't create folder D:\\Tools\\");
    EXPECT_EQ(folder.size(), 29u);

    EXPECT_EQ(F("[$]", "abc"), "[abc]");
    EXPECT_EQ(F("<$><#>", kNull, 7), "<><7>");

    Str none, empty, list;
    empty.Assign("");
    list.Concat(1, "a\0b", 3);
    EXPECT_EQ(F("~#~#", &none, 3, &empty, 4), "34");
    EXPECT_EQ(F("<~>", &list), std::string("<a\0b>", 5));

    EXPECT_EQ(F("{3}", "abcdef"), "abc");
    EXPECT_EQ(F("{3}x#", kNull, 4), "x4");
    EXPECT_EQ(F("{0x2}{02}", "ab", "cd"), "abcd");
    EXPECT_EQ(F("{3 bytes}!", "abcdef"), "abc!");
    EXPECT_EQ(F("{}#{ab}#", "abc", 5, "abc", 6), "56");
    EXPECT_EQ(F("{5}", "a\0b\0c"), std::string("a\0b\0c", 5));
    EXPECT_EQ(F("ab{3", "abcdef"), "ab");
}

TEST(FormatCapacity, StartAndEndOfTheBlock) {
    const uint8_t keep = Str::KeepCapacity;
    const uint8_t large = Str::LargeSteps;
    struct {
        uint8_t flags;
        int32_t before; // capacity before, 0: no buffer
        size_t length;  // of the result
        int32_t cap;
    } cases[] = {
        {0, 0, 0, 10},        {keep, 0, 0, 300},    {0, 0, 10, 21},
        {keep, 0, 10, 300},   {large, 0, 10, 300},  {0, 5, 10, 21},
        {keep, 5, 10, 347},   {large, 5, 10, 1337}, {0, 400, 10, 21},
        {keep, 400, 10, 400}, {0, 0, 300, 300},     {0, 0, 301, 348},
        {keep, 0, 301, 685},  {0, 0, 350, 685},     {keep, 400, 450, 700 + 87 + 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "flags " << int(c.flags) << " cap " << c.before << " length " << c.length);
        Str s(c.flags);
        if (c.before)
            s.Resize(c.before);
        std::string text = Letters(c.length);
        s.Format(text.c_str());
        EXPECT_EQ(Text(s), text);
        EXPECT_EQ(s.cap, c.cap);
        ASSERT_NE(s.data, nullptr);
        EXPECT_EQ(s.data[s.len], 0);
    }
}

TEST(FormatCapacity, DirectivesGrowPastTheFirstBlock) {
    std::string big = Letters(400);
    Str str;
    str.Assign(big.c_str());

    Str a, b, c;
    a.Format("$", big.c_str());
    b.Format("~", &str);
    c.Format("{400}", big.c_str());
    for (Str* s : {&a, &b, &c}) {
        EXPECT_EQ(Text(*s), big);
        EXPECT_EQ(s->cap, 700 + 87 + 10); // 400 > 300: room for 400 + 300
    }

    // A number near the end of the block: room for 20 is made first.
    std::string head = Letters(285);
    std::string tmpl = head + "#";
    Str n, k(Str::KeepCapacity);
    n.Format(tmpl.c_str(), 12345);
    k.Format(tmpl.c_str(), 12345);
    EXPECT_EQ(Text(n), head + "12345");
    EXPECT_EQ(n.cap, 290 + 36 + 10); // 668 shrunk at the end
    EXPECT_EQ(k.cap, 585 + 73 + 10);
}

TEST(FormatCapacity, StartKeepsTheBytesBefore) {
    Str s;
    s.Assign("abcdef");
    FormatAt(s, 3, "XY#", 5);
    EXPECT_EQ(Text(s), "abcXY5");

    Str t;
    t.Assign("ab");
    FormatAt(t, 5, "Z");
    ASSERT_EQ(t.len, 6);
    EXPECT_EQ(memcmp(t.data, "ab", 2), 0);
    EXPECT_EQ(t.data[5], 'Z');

    // A KeepCapacity target with room keeps its very block.
    Str k(Str::KeepCapacity);
    k.Resize(400);
    char* block = k.data;
    k.Format("abc");
    EXPECT_EQ(k.data, block);
    EXPECT_EQ(Text(k), "abc");
}

TEST(FormatCapacity, ArgumentsFromTheTargetsOwnText) {
    // The block replaced at the start is read until the end.
    Str s;
    s.Assign("hello");
    s.Format("<$>", s.data);
    EXPECT_EQ(Text(s), "<hello>");
    s.Assign("hello");
    s.Format("<{3}>", s.data);
    EXPECT_EQ(Text(s), "<hel>");

    // Text at the output position, then again after the block has grown.
    std::string text = Letters(290);
    Str k(Str::KeepCapacity);
    k.Resize(300);
    memcpy(k.data, text.c_str(), text.size() + 1);
    k.Format("$$", k.data, k.data);
    EXPECT_EQ(Text(k), text + text);
}

TEST(Concat, PiecesAndTheTargetsOwnText) {
    // The target's text as first piece stays where it is.
    Str s;
    s.GetBuffer(20, 0);
    memcpy(s.data, "abc", 4);
    s.SetLength(-1, true);
    char* block = s.data;
    s.Concat(2, s.data, s.len, "def", -1);
    EXPECT_EQ(s.data, block);
    EXPECT_EQ(Text(s), "abcdef");
    EXPECT_EQ(s.data[6], 0);
    EXPECT_EQ(s.data[7], 0);

    // The same without room: a new block, the first piece read from the old.
    Str t;
    t.Assign("abc");
    t.Concat(2, t.data, t.len, "def", 3);
    EXPECT_EQ(Text(t), "abcdef");

    // The target's text elsewhere: built in a new block.
    block = s.data;
    s.Concat(2, "x", 1, s.data, s.len);
    EXPECT_NE(s.data, block);
    EXPECT_EQ(Text(s), "xabcdef");
    s.Concat(2, s.data + 4, 3, s.data, 4);
    EXPECT_EQ(Text(s), "defxabc");
    s.Concat(2, s.data, 2, "Z", 1);
    EXPECT_EQ(Text(s), "deZ");
    s.Concat(2, kNull, 0, s.data + 1, 0);
    EXPECT_EQ(s.len, 0);
    EXPECT_EQ(s.data[0], 0);
}

TEST(Concat, CountsLengthsAndNullPieces) {
    Str s;
    s.Concat(0);
    ASSERT_NE(s.data, nullptr);
    EXPECT_EQ(s.len, 0);
    EXPECT_EQ(s.data[0], 0);
    EXPECT_EQ(s.data[1], 0);

    s.Concat(1, "hello", -1);
    EXPECT_EQ(Text(s), "hello");
    s.Concat(3, "a", 1, kNull, 5, "b", -1);
    EXPECT_EQ(Text(s), "ab");
    s.Concat(2, "a\0b", 3, "", -1);
    EXPECT_EQ(Text(s), std::string("a\0b", 3));
    s.Concat(0);
    EXPECT_EQ(s.len, 0);

    // The folder without its trailing backslash.
    Str dir, t;
    dir.Assign("C:\\Program Files\\Kestrune 2\\");
    t.Concat(1, dir.data, dir.len - 1);
    EXPECT_EQ(Text(t), "C:\\Program Files\\Kestrune 2");

    const char* p = "0123456789abcdef";
    t.Concat(16, p, 1, p + 1, 1, p + 2, 1, p + 3, 1, p + 4, 1, p + 5, 1, p + 6, 1, p + 7, 1, p + 8,
             1, p + 9, 1, p + 10, 1, p + 11, 1, p + 12, 1, p + 13, 1, p + 14, 1, p + 15, -1);
    EXPECT_EQ(Text(t), p);
}

#ifdef _WIN32
// Answers the message box that another thread of this process shows: reads
// its text and caption, then presses OK. If no box comes within the bound the
// owner's modal loop is ended with WM_QUIT, so the test fails but never hangs.
struct BoxAnswer {
    DWORD owner;
    std::string text;
    std::string caption;
    bool found = false;
};

BOOL CALLBACK FindBox(HWND w, LPARAM out) {
    char cls[16];
    if (IsWindowVisible(w) && GetClassNameA(w, cls, sizeof cls) && strcmp(cls, "#32770") == 0) {
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
    }
    return TRUE;
}

// On a loaded machine under an emulated CPU the box's thread can go for
// seconds without reading its messages, which Wine takes for a hung one:
// wait for it plainly, within the watchdog's own bound.
std::string ReadText(HWND w) {
    static char buffer[4096];
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                             SMTO_NORMAL, 20000, &n))
        return std::string();
    return std::string(buffer, n);
}

// The message text is the static control 0xFFFF; failing that, the longest
// static text of the box.
BOOL CALLBACK LongestStatic(HWND w, LPARAM out) {
    char cls[16];
    if (GetClassNameA(w, cls, sizeof cls) && _stricmp(cls, "Static") == 0) {
        std::string t = ReadText(w);
        std::string* best = reinterpret_cast<std::string*>(out);
        if (t.size() > best->size())
            *best = t;
    }
    return TRUE;
}

DWORD WINAPI AnswerBox(void* param) {
    BoxAnswer* answer = static_cast<BoxAnswer*>(param);
    for (int i = 0; i < 400 && !answer->found; i++) { // 20 s
        HWND box = nullptr;
        EnumThreadWindows(answer->owner, FindBox, reinterpret_cast<LPARAM>(&box));
        if (!box) {
            Sleep(50);
            continue;
        }
        answer->found = true;
        HWND text = GetDlgItem(box, 0xFFFF);
        if (text)
            answer->text = ReadText(text);
        else
            EnumChildWindows(box, LongestStatic, reinterpret_cast<LPARAM>(&answer->text));
        answer->caption = ReadText(box);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    if (!answer->found)
        PostThreadMessageA(answer->owner, WM_QUIT, 0, 0);
    return 0;
}

template <typename Show> int ShowAndAnswer(BoxAnswer& answer, Show show) {
    answer.owner = GetCurrentThreadId();
    HANDLE watchdog = CreateThread(nullptr, 0, AnswerBox, &answer, 0, nullptr);
    EXPECT_NE(watchdog, nullptr);
    int result = show();
    if (watchdog) {
        EXPECT_EQ(WaitForSingleObject(watchdog, 120000), WAIT_OBJECT_0);
        CloseHandle(watchdog);
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return result;
}

TEST(MsgBoxFormat, ShowsTheWholeFormattedText) {
    // Longer than the 300 bytes the box's buffer starts with.
    std::string head = "Line one of a long report.\r\n" + Letters(300);
    std::string tmpl = head + " ~ # & $";
    Str dir;
    dir.Assign("D:\\Tools\\");
    BoxAnswer answer;
    int result = ShowAndAnswer(answer, [&] {
        return MsgBoxFormat(MB_OK | MB_ICONERROR, "KR test", tmpl.c_str(), &dir, -42, 255,
                            "the end");
    });
    EXPECT_TRUE(answer.found);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(answer.text, head + " D:\\Tools\\ -42 FF the end");
    EXPECT_EQ(answer.caption, "KR test");

    BoxAnswer plain;
    result = ShowAndAnswer(
        plain, [&] { return MsgBoxFormat(MB_ICONERROR, nullptr, "Can't create folder ~", &dir); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(plain.text, "Can't create folder D:\\Tools\\");
    EXPECT_FALSE(plain.caption.empty()); // the system's default title
}
#endif

} // namespace

// The string buffer: growth policy, terminators, the fill-from-a-call
// helpers, comparisons and every operation whose source may be the target's
// own text. Everything but ToWide also runs natively under the sanitizers.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "str.h"
#include "str_text.h"

namespace {

const uint8_t kBoth = Str::KeepCapacity | Str::LargeSteps;

// Fills s with exactly these bytes (zero bytes allowed); null leaves it
// without a buffer.
void Set(Str& s, const char* bytes, int32_t n = -1) {
    if (!bytes) {
        s.Assign(static_cast<const char*>(nullptr));
        return;
    }
    if (n < 0)
        n = static_cast<int32_t>(strlen(bytes));
    s.ResizeDiscard(n);
    memcpy(s.data, bytes, static_cast<size_t>(n));
}

// A buffer whose capacity is exactly n, holding text.
void SetWithCap(Str& s, int32_t n, const char* text) {
    s.Resize(n);
    ASSERT_EQ(s.cap, n);
    s.SetLength(0, true);
    memcpy(s.data, text, strlen(text) + 1);
    s.len = static_cast<int32_t>(strlen(text));
}

void ExpectBufferless(const Str& s) {
    EXPECT_EQ(s.data, nullptr);
    EXPECT_EQ(s.len, 0);
    EXPECT_EQ(s.cap, 0);
}

void ExpectTwoTerminators(const Str& s) {
    ASSERT_NE(s.data, nullptr);
    EXPECT_EQ(s.data[s.len], 0);
    EXPECT_EQ(s.data[s.len + 1], 0);
}

struct GrowthCase {
    uint8_t flags;
    int32_t first; // a fresh object resized to this gets exactly this cap
    int32_t next;
    int32_t cap;
};

const GrowthCase kGrowth[] = {
    {0, 100, 101, 123}, // 101 + 12 + 10
    {Str::KeepCapacity, 100, 101, 123},
    {Str::LargeSteps, 100, 101, 1113}, // 101 + 12 + 1000
    {kBoth, 100, 101, 1113},
    {0, 100, 100, 100},
    {0, 400, 10, 21}, // shrinks to 10 + 1 + 10
    {Str::KeepCapacity, 400, 10, 400},
    {Str::LargeSteps, 400, 10, 400},
    {0, 50, 0, 50}, // 50 is not above 2 * 0 + 50
    {0, 51, 0, 10},
    {0, 100, 25, 100},
    {0, 100, 24, 37},
    {Str::LargeSteps, 5000, 0, 5000},
    {Str::LargeSteps, 5001, 0, 1000},
    {kBoth, 5001, 0, 5001},
    {Str::KeepCapacity, 51, 0, 51},
};

TEST(StrGrowth, PolicyIsSharedByTheThreeResizes) {
    for (const GrowthCase& c : kGrowth) {
        for (int which = 0; which < 3; which++) {
            SCOPED_TRACE(::testing::Message() << "flags " << int(c.flags) << " " << c.first
                                              << " -> " << c.next << " primitive " << which);
            Str s(c.flags);
            if (which == 2) {
                EXPECT_TRUE(s.ResizeKeepOld(c.first, false));
            } else {
                s.Resize(c.first);
            }
            EXPECT_EQ(s.cap, c.first);
            char* old = s.data;
            if (which == 0) {
                s.Resize(c.next);
            } else if (which == 1) {
                s.ResizeDiscard(c.next);
            } else {
                bool allocated = s.ResizeKeepOld(c.next, false);
                EXPECT_EQ(allocated, c.cap != c.first);
                if (allocated)
                    free(old);
            }
            EXPECT_EQ(s.cap, c.cap);
            EXPECT_EQ(s.len, c.next);
            ExpectTwoTerminators(s);
        }
    }
}

TEST(StrGrowth, ResizeKeepsContentAcrossGrowthAndShrink) {
    Str s;
    Set(s, "abcdef");
    s.Resize(1000);
    EXPECT_EQ(memcmp(s.data, "abcdef", 6), 0);
    s.Resize(3); // shrinks the block
    EXPECT_EQ(s.cap, 3 + 0 + 10);
    EXPECT_EQ(Text(s), "abc");
    ExpectTwoTerminators(s);
}

TEST(StrGrowth, ResizeKeepOldLeavesTheOldBlockReadable) {
    Str s;
    Set(s, "abc"); // cap 3
    char* old = s.data;
    EXPECT_TRUE(s.ResizeKeepOld(10, false));
    EXPECT_NE(s.data, old);
    EXPECT_EQ(memcmp(old, "abc", 4), 0);
    free(old);

    // noTerminator: the bytes at n and n + 1 stay as they were.
    memset(s.data, 'x', static_cast<size_t>(s.cap) + 3);
    EXPECT_FALSE(s.ResizeKeepOld(5, true));
    EXPECT_EQ(s.len, 5);
    EXPECT_EQ(s.data[5], 'x');
    EXPECT_EQ(s.data[6], 'x');
}

TEST(StrGrowth, NegativeLengthIsTakenAsZero) {
    Str s;
    s.Resize(-5);
    EXPECT_EQ(s.len, 0);
    EXPECT_EQ(s.cap, 0);
    ExpectTwoTerminators(s);
}

TEST(StrBuffer, GetBufferModes) {
    Str fresh;
    char* p = fresh.GetBuffer(260, 0);
    EXPECT_EQ(p, fresh.data);
    EXPECT_EQ(fresh.cap, 260);
    EXPECT_EQ(fresh.len, 0);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 0);

    Str s;
    Set(s, "abcdef");
    s.GetBuffer(100, Str::KeepContent); // larger: length unchanged
    EXPECT_GE(s.cap, 100);
    EXPECT_EQ(Text(s), "abcdef");
    ExpectTwoTerminators(s);
    s.GetBuffer(100, Str::KeepContent | Str::SizeAsLength);
    EXPECT_EQ(s.len, 100);
    EXPECT_EQ(memcmp(s.data, "abcdef", 6), 0);
    s.GetBuffer(3, Str::KeepContent); // smaller: cut
    EXPECT_EQ(Text(s), "abc");
    ExpectTwoTerminators(s);

    s.GetBuffer(50, Str::SizeAsLength); // content dropped, length kept at n
    EXPECT_EQ(s.len, 50);
    EXPECT_EQ(s.data[0], 0);
    EXPECT_EQ(s.data[1], 0);
    s.GetBuffer(50, 0);
    EXPECT_EQ(s.len, 0);
}

TEST(StrBuffer, GetBufferNegativeShrinksToFit) {
    Str none;
    EXPECT_EQ(none.GetBuffer(-1, 0), nullptr);
    ExpectBufferless(none);

    Str s(Str::KeepCapacity);
    s.Resize(400);
    s.SetLength(0, true);
    memcpy(s.data, "abcd", 5);
    s.SetLength(-1, true);
    EXPECT_EQ(s.cap, 400);
    EXPECT_EQ(s.GetBuffer(-1, 0), s.data);
    EXPECT_EQ(s.cap, 4);
    EXPECT_EQ(Text(s), "abcd");
    ExpectTwoTerminators(s);
}

TEST(StrBuffer, SetLengthAfterACallFilledTheBuffer) {
    Str s;
    s.GetBuffer(20, 0);
    memcpy(s.data, "abc\0xyz", 8);
    s.SetLength(-1, true);
    EXPECT_EQ(Text(s), "abc");

    // No zero byte within cap + 1: the length is the capacity.
    memset(s.data, 'q', static_cast<size_t>(s.cap) + 3);
    s.SetLength(-1, true);
    EXPECT_EQ(s.len, s.cap);
    ExpectTwoTerminators(s);

    memset(s.data, 'q', static_cast<size_t>(s.cap) + 3);
    s.SetLength(s.cap + 100, false);
    EXPECT_EQ(s.len, s.cap);
    ExpectTwoTerminators(s);

    Str none;
    none.SetLength(5, false);
    ExpectBufferless(none);
}

TEST(StrBuffer, SetLengthShrinksOnlyWhenAllowed) {
    struct {
        uint8_t flags;
        bool keepCapacity;
        int32_t cap;
    } cases[] = {{0, false, 21}, {0, true, 300}, {Str::KeepCapacity, false, 300}};
    for (const auto& c : cases) {
        Str s(c.flags);
        s.GetBuffer(300, 0);
        memcpy(s.data, "0123456789", 10);
        s.SetLength(10, c.keepCapacity);
        EXPECT_EQ(s.cap, c.cap);
        EXPECT_EQ(Text(s), "0123456789");
        ExpectTwoTerminators(s);
    }
}

TEST(StrCompare, EqualNoCase) {
    struct {
        const char* a; // null: no buffer
        int32_t na;
        const char* b;
        int32_t nb;
        bool equal;
    } cases[] = {
        {"D:\\Program Files\\", -1, "d:\\PROGRAM FILES\\", -1, true},
        {nullptr, 0, "", -1, false},
        {"", -1, nullptr, 0, false},
        {nullptr, 0, nullptr, 0, true},
        {"", -1, "", -1, true},
        {"abc", -1, "abcd", -1, false},
        {"\xC4", -1, "\xE4", -1, false}, // letters of a code page, not ASCII
        {"a\0B", 3, "A\0b", 3, true},
        {"a\0B", 3, "A\0c", 3, false},
        {"[@", -1, "{`", -1, false}, // 0x20 apart, but no letters
        {"AZaz", -1, "azAZ", -1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << (c.a ? c.a : "(none)") << " / " << (c.b ? c.b : "(none)"));
        Str a, b;
        Set(a, c.a, c.na);
        Set(b, c.b, c.nb);
        EXPECT_EQ(a.EqualNoCase(b), c.equal);
        EXPECT_EQ(b.EqualNoCase(a), c.equal);
    }
}

TEST(StrCompare, StartsWithAndEndsWith) {
    struct {
        const char* s; // null: no buffer
        const char* text;
        int32_t n;
        bool starts;
        bool ends;
    } cases[] = {
        {"abcdef", "abc", -1, true, false},
        {"abcdef", "def", -1, false, true},
        {"abcdef", "ABC", -1, false, false},
        {"abcdef", "", -1, true, true},
        {"", "", -1, true, true},
        {nullptr, "", -1, false, false},
        {"abc", nullptr, -1, false, false},
        {"abc", "abcd", -1, false, false},
        {"abcdef", "abX", 2, true, false},
        {"abcdef", "efX", 2, false, true},
        {"abc", "xyz", 0, true, true},
        {"abc", "abc", 4, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.s ? c.s : "(none)") << " / "
                                          << (c.text ? c.text : "(null)") << " " << c.n);
        Str s;
        Set(s, c.s);
        EXPECT_EQ(s.StartsWith(c.text, c.n), c.starts);
        EXPECT_EQ(s.EndsWith(c.text, c.n), c.ends);
    }
}

TEST(StrCopy, Assign) {
    Str s, src, none;
    Set(src, "a\0b", 3);
    s.Assign(src);
    EXPECT_EQ(Text(s), std::string("a\0b", 3));
    ExpectTwoTerminators(s);

    char* before = s.data;
    s.Assign(s);
    s.Assign(s.data);
    EXPECT_EQ(s.data, before);
    EXPECT_EQ(Text(s), std::string("a\0b", 3));

    s.Assign(none);
    ExpectBufferless(s);
    Set(s, "abc");
    s.Assign(static_cast<const char*>(nullptr));
    ExpectBufferless(s);

    // A tail of the target's own text.
    Set(s, "abcdef");
    s.Assign(s.data + 2);
    EXPECT_EQ(Text(s), "cdef");
    ExpectTwoTerminators(s);
}

TEST(StrCopy, Append) {
    Str s, none;
    s.Append(none);
    s.Append(static_cast<const char*>(nullptr));
    ExpectBufferless(s);
    s.Append(""); // an empty text still gives the target a buffer
    ASSERT_NE(s.data, nullptr);
    EXPECT_EQ(s.len, 0);

    s.Append("abc").Append("defghijklmnopqrstuvwxyz");
    EXPECT_EQ(Text(s), "abcdefghijklmnopqrstuvwxyz");
    ExpectTwoTerminators(s);

    Str list;
    Set(list, "x\0y", 3);
    Set(s, "a");
    s.Append(list);
    EXPECT_EQ(Text(s), std::string("ax\0y", 4));

    // The target's own text, whole or a tail, with and without growth.
    Set(s, "abc");
    s.Append(s);
    EXPECT_EQ(Text(s), "abcabc");
    s.Append(s.data + 4);
    EXPECT_EQ(Text(s), "abcabcbc");
    ExpectTwoTerminators(s);
    Str big;
    SetWithCap(big, 400, "abc"); // appending shrinks the block
    big.Append(big.data + 1);
    EXPECT_EQ(Text(big), "abcbc");
    EXPECT_EQ(big.cap, 5 + 0 + 10);
}

TEST(StrCopy, Prepend) {
    // Room in the block: the old text and its terminator move right.
    Str s;
    SetWithCap(s, 10, "cd");
    memset(s.data + 3, 'x', 10);
    char* before = s.data;
    s.Prepend("ab");
    EXPECT_EQ(s.data, before);
    EXPECT_EQ(Text(s), "abcd");
    ExpectTwoTerminators(s);

    // No room: a new block.
    Str t;
    Set(t, "cd");
    EXPECT_EQ(t.cap, 2);
    t.Prepend("ab");
    EXPECT_EQ(Text(t), "abcd");
    ExpectTwoTerminators(t);

    Str none, empty, list;
    none.Prepend("ab");
    EXPECT_EQ(Text(none), "ab");
    Set(list, "\0z", 2);
    t.Prepend(list).Prepend(empty).Prepend(static_cast<const char*>(nullptr));
    EXPECT_EQ(Text(t), std::string("\0zabcd", 6));

    t.Prepend(t);
    EXPECT_EQ(Text(t), std::string("\0zabcd\0zabcd", 12));
    Set(s, "abc");
    s.Prepend(s.data + 1);
    EXPECT_EQ(Text(s), "bcabc");
    ExpectTwoTerminators(s);
}

TEST(StrCopy, AssignConcat) {
    Str s, other, none;
    SetWithCap(s, 40, "D:\\dir\\");
    char* block = s.data;
    s.AssignConcat(s, "file.txt"); // first is the target: appended in place
    EXPECT_EQ(s.data, block);
    EXPECT_EQ(Text(s), "D:\\dir\\file.txt");
    ExpectTwoTerminators(s);

    Set(s, "file");
    s.AssignConcat("dir\\", s.data); // second is the target: prepend
    EXPECT_EQ(Text(s), "dir\\file");
    Set(other, "C:\\");
    s.AssignConcat(other, s.data);
    EXPECT_EQ(Text(s), "C:\\dir\\file");
    ExpectTwoTerminators(s);

    // A first Str with zero bytes is copied by its length.
    Set(other, "a\0b", 3);
    s.AssignConcat(other, "cd");
    EXPECT_EQ(Text(s), std::string("a\0bcd", 5));
    ExpectTwoTerminators(s);

    s.AssignConcat(none, "xy");
    EXPECT_EQ(Text(s), "xy");
    s.AssignConcat("xy", nullptr);
    EXPECT_EQ(Text(s), "xy");
    s.AssignConcat(nullptr, "z");
    EXPECT_EQ(Text(s), "z");
    s.AssignConcat(none, nullptr);
    ExpectBufferless(s);
    Set(s, "abc");
    s.AssignConcat(nullptr, nullptr);
    ExpectBufferless(s);

    // Pieces from inside the target's text.
    Set(s, "abcdef");
    s.AssignConcat(s.data + 3, "x");
    EXPECT_EQ(Text(s), "defx");
    s.AssignConcat("<", s.data + 2);
    EXPECT_EQ(Text(s), "<fx");
    ExpectTwoTerminators(s);
}

TEST(StrCopy, Substring) {
    struct {
        const char* src;
        int32_t start;
        int32_t count;
        bool append;
        const char* result; // the target held "xy" before
    } cases[] = {
        {"abcdef", 2, -1, false, "cdef"}, {"abcdef", -3, 2, false, "ab"},
        {"abcdef", 4, 100, false, "ef"},  {"abcdef", 1, 3, true, "xybcd"},
        {"abcd", 10, 5, false, ""},       {"abcd", 10, 5, true, "xy"},
        {"abcd", 1, 0, false, ""},        {"", 0, -1, true, "xy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.src << " " << c.start << " " << c.count << " " << c.append);
        Str src, s;
        Set(src, c.src);
        Set(s, "xy");
        s.Substring(src, c.start, c.count, c.append);
        EXPECT_EQ(Text(s), c.result);
        ASSERT_NE(s.data, nullptr);
        EXPECT_EQ(s.data[s.len], 0);
    }

    Str none, s;
    s.Substring(none, 0, -1, false);
    ASSERT_NE(s.data, nullptr);
    EXPECT_EQ(s.len, 0);
}

TEST(StrCopy, SubstringOfItself) {
    Str s;
    Set(s, "abcdef");
    s.Substring(s, 2, -1, false);
    EXPECT_EQ(Text(s), "cdef");
    EXPECT_EQ(s.data[s.len], 0);
    s.Substring(s, 1, 2, true); // the piece alone, also when appending
    EXPECT_EQ(Text(s), "de");

    // The piece moves into a smaller, new block.
    Str big;
    big.Resize(400);
    for (int i = 0; i < 400; i++)
        big.data[i] = static_cast<char>('a' + i % 26);
    big.Substring(big, 390, 5, false);
    EXPECT_EQ(big.cap, 5 + 0 + 10);
    EXPECT_EQ(Text(big), "abcde");
    EXPECT_EQ(big.data[5], 0);
}

TEST(StrCopy, TrimEnd) {
    struct {
        const char* text;
        char ch;
        const char* result;
    } cases[] = {
        {"abc \t\r\n", 0, "abc"},     {"D:\\dir\\\\", '\\', "D:\\dir"},
        {"\\\\\\", '\\', ""},         {"abc", 'x', "abc"},
        {"\x01 \x1f", 0, ""},         {"ab\xA0", 0, "ab\xA0"},
        {"ab\xff\xff", '\xff', "ab"}, {"a b \\", 0, "a b \\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Str s;
        Set(s, c.text);
        int32_t cap = s.cap;
        s.TrimEnd(c.ch);
        EXPECT_EQ(Text(s), c.result);
        EXPECT_EQ(s.cap, cap);
        ExpectTwoTerminators(s);
    }
    Str none;
    none.TrimEnd(0);
    ExpectBufferless(none);
}

#ifdef _WIN32
TEST(StrToWide, ConvertsThroughTheAnsiCodePage) {
    const std::string abc("a\0b\0c\0\0\0", 8);
    Str s;
    s.ToWide("abc");
    EXPECT_EQ(s.len, 6);
    EXPECT_EQ(std::string(s.data, 8), abc);

    // In place, by null and by the own pointer: a new block each time.
    Str t;
    Set(t, "abc");
    t.ToWide(nullptr);
    EXPECT_EQ(std::string(t.data, 8), abc);
    Set(t, "abc");
    wchar_t* w = t.ToWide(t.data);
    EXPECT_EQ(reinterpret_cast<char*>(w), t.data);
    EXPECT_STREQ(w, L"abc");
    EXPECT_EQ(t.len, 6);

    Set(t, "abcdef");
    EXPECT_STREQ(t.ToWide(t.data + 3), L"def");

    Str empty;
    empty.ToWide("");
    ASSERT_NE(empty.data, nullptr);
    EXPECT_EQ(empty.len, 0);
    EXPECT_EQ(empty.data[0], 0);
    EXPECT_EQ(empty.data[1], 0);
    Set(t, "xy");
    t.len = 0; // stale bytes behind an empty text
    char* before = t.data;
    t.ToWide(nullptr);
    EXPECT_EQ(t.data, before);
    EXPECT_EQ(t.len, 0);
    EXPECT_EQ(t.data[0], 0);
    EXPECT_EQ(t.data[1], 0);
    Str none;
    EXPECT_EQ(none.ToWide(nullptr), nullptr);
}

// The test program, like setup.exe, runs with UTF-8 as its ANSI code page:
// one UTF-16 unit for two or three bytes, two for four.
TEST(StrToWide, ConvertsMultiByteCharacters) {
    ASSERT_EQ(GetACP(), 65001u);
    Str s;
    EXPECT_STREQ(s.ToWide("\xD0\xAF\xE5\xBF\xAB\xF0\x9F\x94\x97!"), L"\x042F\x5FEB\xD83D\xDD17!");
    EXPECT_EQ(s.len, 10);
    Set(s, "\xF0\x9F\x94\x97\xF0\x9F\x94\x97");
    EXPECT_STREQ(s.ToWide(nullptr), L"\xD83D\xDD17\xD83D\xDD17");
    EXPECT_EQ(s.len, 8);
}
#endif

} // namespace
